#pragma once
#include "filedeal/Low.h"
#include "norvik/Version.h"
