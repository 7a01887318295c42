#include "CategoryTreeBuilder.h"
