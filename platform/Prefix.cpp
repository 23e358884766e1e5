#include "platform/Prefix.h"
