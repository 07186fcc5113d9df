#include "Low.h"
#include <job/JobEngine.h>
#include "../job/JobEngine.h"
#include "QtCore/QString"
#include <qstring.h>
#  include "./settings//SettingsDocument.h"
#include "filedeal/../rules/RuleLine.h"
#include <string>
#include "filedeal/./Other.h"
