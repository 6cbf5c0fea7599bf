#pragma once

#include "platform/Exception.h"

// The report engine's errors. Its messages are English, like its window captions.
PLIVORA_DECLARE_EXCEPTION(EReportError, Exception)
// "The following reporting project does not exist:" CR "<full path>"
PLIVORA_DECLARE_EXCEPTION(EReportProjectMissing, EReportError)
// A project file that is empty, not well-formed or incomplete, or names something unknown.
PLIVORA_DECLARE_EXCEPTION(EReportProjectFormat, EReportError)
// The records cannot be had: unknown data connection, unknown field, no data-file reader.
PLIVORA_DECLARE_EXCEPTION(EReportDataError, EReportError)
// The printer or an output file failed.
PLIVORA_DECLARE_EXCEPTION(EReportOutputError, EReportError)
