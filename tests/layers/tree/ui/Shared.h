#pragma once
#include "ui/PathText.h"
#include "job/ui/JobController.h"
#include "job/JobTypes.h"
