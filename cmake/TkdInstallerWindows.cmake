# The Windows installer, built on Linux with CPack's NSIS generator (Debian's nsis): `cpack -G NSIS` in
# the Windows build tree. CPack's template asks for administrator rights, so it installs for all users:
# tk-dedi.exe under Program Files and a Start-menu shortcut whose working folder is "TK-Dedi data" in the
# public Documents, where every user may write: the program reads its settings file from there and
# keeps its data beside it. There is no per-user installation (docs/packaging.md says so).
# The starter settings file (COM1, 9600 baud, the data folder "data") is written only when none is there, so a reinstall keeps the operator's settings; the
# uninstaller removes the program and its shortcuts and leaves that folder alone.
set(CPACK_GENERATOR NSIS)
# A 64-bit installer for the 64-bit program: it runs on any x64 Windows and in a 64-bit Wine.
set(CPACK_NSIS_COMPRESSOR "lzma\n  Unicode true\n  Target amd64-unicode")
set(CPACK_PACKAGE_NAME "TK-Dedi")
set(CPACK_PACKAGE_VENDOR "TK-Dedi")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TK-Dedi: data collection from TK4700 weighing indicators")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "tk-dedi-${PROJECT_VERSION}-setup")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "TK-Dedi")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "TK-Dedi")
set(CPACK_NSIS_PACKAGE_NAME "TK-Dedi")
set(CPACK_NSIS_INSTALLED_ICON_NAME "tk-dedi.exe")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/src/ui/win32/tk_dedi.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/src/ui/win32/tk_dedi.ico")
# Off: that step runs before anything else, and would uninstall the old version under a running
# TK-Dedi. A new version installs over the old one in place; the files keep their names.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_MONOLITHIC_INSTALL ON)

# The working folder, its starter settings file (never over an existing one) and the shortcut, which
# takes the output path of the moment as its working folder.
set(TKD_NSIS_STARTER "${PROJECT_SOURCE_DIR}/packaging/windows/TK4700_TUNE.INI")
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  CreateDirectory '$DOCUMENTS\\\\TK-Dedi data\\\\data'
  SetOutPath '$DOCUMENTS\\\\TK-Dedi data'
  SetOverwrite off
  File '${TKD_NSIS_STARTER}'
  SetOverwrite on
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\TK-Dedi.lnk' '$INSTDIR\\\\tk-dedi.exe'
  SetOutPath '$INSTDIR'")
# Neither installs nor uninstalls under a running TK-Dedi (its executable is in use, and a half-replaced
# program would go on running): the window of the program, a dialog titled "TK-Dedi", is looked for
# first. Retry looks again; Cancel, and a silent run, give up with nothing changed.
set(TKD_NSIS_CHECK_RUNNING "
  tkd_look_again:
  FindWindow $0 '#32770' 'TK-Dedi'
  StrCmp $0 0 tkd_not_running
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION 'TK-Dedi is running. Close it, then press Retry.' /SD IDCANCEL IDRETRY tkd_look_again
  Abort 'TK-Dedi is running.'
  tkd_not_running:")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "${TKD_NSIS_CHECK_RUNNING}")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "${TKD_NSIS_CHECK_RUNNING}")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\TK-Dedi.lnk'")
include(CPack)
