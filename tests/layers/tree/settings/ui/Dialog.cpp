#include "settings/ui/Dialog.h"
#include "main/TMainForm.h"
#include "rules/ui/TMutilReplaceConfig.h"
