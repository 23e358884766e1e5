#include "platform/AtomicFile.h"
