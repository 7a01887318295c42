#include "EntryPane.h"
