#pragma once

#include <string>
#include "filedeal/Other.h"
#include "rules/RuleLine.h"
#include <QString>
