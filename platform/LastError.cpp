#include "platform/LastError.h"
