// Dialog template 102 without a toolkit: its size and every control's id, kind, caption and place in dialog units.
#pragma once

#include "batch_view.h"

// What a control is; each toolkit picks its own widget or window class for it.
enum class EControlKind { Group, Static, Combo, Progress, Check, Date, Time, Button, List };

struct CControlDef {
    int m_nId;
    EControlKind m_eKind;
    const char* m_pszCaption;  // UTF-8; empty for controls whose text the program sets or that have none
    // Dialog units; a drop-down list's height covers its open list, not the closed box.
    int m_nX, m_nY, m_nCx, m_nCy;
    bool m_bHidden;
};

// The client area, in dialog units.
inline constexpr int g_nBatchDlgCx = 524;
inline constexpr int g_nBatchDlgCy = 345;

// The controls in tab order. tk_dedi.rc spells the same template for windres, which cannot read
// this; the window test under Wine compares the dialog it creates with this table.
inline constexpr CControlDef g_aBatchControls[] = {
    {IDC_GROUP_SELECTION, EControlKind::Group, "Текущий индикатор", 4, 4, 440, 60, false},
    {IDC_LABEL_INDICATOR, EControlKind::Static, "Индикатор", 12, 18, 40, 8, false},
    {IDC_COMBO_INDICATOR, EControlKind::Combo, "", 56, 18, 56, 40, false},
    {IDC_LABEL_RECIPE, EControlKind::Static, "Рецепт", 120, 18, 28, 8, false},
    {IDC_COMBO_RECIPE, EControlKind::Combo, "", 152, 18, 56, 60, false},
    {IDC_LABEL_DOSE, EControlKind::Static, "Доза", 216, 18, 20, 8, false},
    {IDC_COMBO_DOSE, EControlKind::Combo, "", 240, 18, 56, 60, false},
    {IDC_PROGRESS_SCAN, EControlKind::Progress, "", 12, 40, 284, 8, false},
    {IDC_PROGRESS_DOWNLOAD, EControlKind::Progress, "", 12, 52, 284, 8, false},
    {IDC_CHECK_DATETIME, EControlKind::Check, "Ограничение по дате/времени", 308, 16, 120, 8, true},
    {IDC_LABEL_BEGIN, EControlKind::Static, "Начало", 308, 28, 28, 8, true},
    {IDC_DATE_BEGIN, EControlKind::Date, "", 336, 28, 52, 12, true},
    {IDC_TIME_BEGIN, EControlKind::Time, "", 392, 28, 44, 12, true},
    {IDC_LABEL_END, EControlKind::Static, "Конец", 308, 48, 24, 8, true},
    {IDC_DATE_END, EControlKind::Date, "", 336, 48, 52, 12, true},
    {IDC_TIME_END, EControlKind::Time, "", 392, 48, 44, 12, true},
    {IDC_GROUP_CURRENT, EControlKind::Group, "Текущие отвесы", 4, 65, 220, 163, false},
    {IDC_GROUP_ALL, EControlKind::Group, "Все отвесы", 228, 65, 216, 163, false},
    {IDC_GROUP_BUTTONS, EControlKind::Group, "", 448, 4, 72, 224, false},
    {IDC_SEARCH, EControlKind::Button, "Поиск", 460, 20, 48, 16, false},
    {IDC_START, EControlKind::Button, "Старт", 460, 60, 48, 16, false},
    {IDC_STOP, EControlKind::Button, "Стоп", 460, 84, 48, 16, false},
    {IDC_GROUP_TOTALS, EControlKind::Group, "Итоги по рецептам/дозам", 4, 228, 516, 112, false},
    {IDC_LIST_TOTALS, EControlKind::List, "", 8, 236, 508, 100, false},
    {IDC_EXIT, EControlKind::Button, "Выход", 460, 121, 48, 16, false},
};
