// SPDX-License-Identifier: MIT
#include "tableaccess.h"
