#include "job/ui/Window.h"
#include "settings/ui/Dialog.h"
