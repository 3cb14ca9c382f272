#include "GUI2/wiz_job.h"

wiz_job::~wiz_job() = default;
