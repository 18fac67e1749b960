#include "archive/arxUnZIP.h"

namespace velmaris {

TUnZIP::TUnZIP() { SetZipCmntBufSize(2000); }

void TUnZIP::ExtractIt() { RaiseError(ecUnsupportedMethod, archiveFile_); }

}  // namespace velmaris
