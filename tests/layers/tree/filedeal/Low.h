#pragma once

#include "filedeal/Other.h"
#include "rules/RuleLine.h"
#include <QString>
#include <string>
