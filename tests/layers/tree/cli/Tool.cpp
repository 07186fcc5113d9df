#include "job/JobEngine.h"
#include "main/Window.h"
