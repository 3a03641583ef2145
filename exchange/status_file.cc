#include "exchange/status_file.h"

#include "exchange/file_names.h"

namespace zindo {

void WriteRunningStatus(FileSystem& files, bool carrier_detect) {
  files.WriteFile(kStatusFileName, TextLine(carrier_detect ? "1,1" : "0,1"));
}

void WriteStoppedStatus(FileSystem& files) {
  files.WriteFile(kStatusFileName, TextLine("0,0"));
}

}  // namespace zindo
