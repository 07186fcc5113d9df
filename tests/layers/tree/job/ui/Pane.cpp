#include "job/ui/Pane.h"
#include "ui/Shared.h"
#include "../../rules/ui/Editor.h"
#include <settings/ui/Dialog.h>
