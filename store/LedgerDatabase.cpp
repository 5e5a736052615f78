#include "store/LedgerRecords.h"
