#include "platform/SharedLibrary.h"
