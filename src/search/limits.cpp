#include "search/limits.h"

SearchSignals searchSignals;
SearchConfig activeConfig;
