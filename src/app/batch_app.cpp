// The application object and the process-wide objects, defined once for both programs in their construction order.
#include "batch_app.h"

CBatchApp theApp;
CTuneSettings g_settings;
CComPort g_port;  // the product's line timing
CBatchStore g_store;
CWeighChart g_chartCurrent;
CWeighChart g_chartAll;
