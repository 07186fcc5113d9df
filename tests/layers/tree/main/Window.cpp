#include "settings/ui/Dialog.h"
#include "job/ui/Window.h"
