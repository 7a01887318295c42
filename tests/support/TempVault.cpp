#include "TempVault.h"
