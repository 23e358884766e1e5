#include "platform/Profile.h"
