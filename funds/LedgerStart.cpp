#include "funds/Ledger.h"
