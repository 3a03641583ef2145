#ifndef ZINDO_EXCHANGE_STATUS_FILE_H_
#define ZINDO_EXCHANGE_STATUS_FILE_H_

#include "platform/files/file_system.h"

namespace zindo {

// Tells the companion that the relay runs: "1,1" when carrier detect is on
// at that moment, else "0,1". Throws Error when the file cannot be written.
void WriteRunningStatus(FileSystem& files, bool carrier_detect);

// Tells the companion that the relay has stopped: "0,0". Throws Error when
// the file cannot be written.
void WriteStoppedStatus(FileSystem& files);

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_STATUS_FILE_H_
