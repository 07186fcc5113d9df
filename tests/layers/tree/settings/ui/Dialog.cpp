#include "settings/ui/Dialog.h"
#include "main/TMainForm.h"
