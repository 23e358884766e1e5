#include "platform/Ansi.h"
