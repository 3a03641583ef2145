#ifndef ZINDO_TOOLS_SETUP_COMPANION_DRIVES_H_
#define ZINDO_TOOLS_SETUP_COMPANION_DRIVES_H_

#include <string>
#include <vector>

#include "platform/surroundings.h"

namespace zindo::tools {

// The list, in the prefix, of the links and folders that zindo-setup made
// there, so that it replaces and removes only its own.
std::string MadeListPath(const std::string& prefix);

// Makes the prefix reach the companion's `folder` (absolute, every link
// resolved) the way its autoexec.pif expects, when that file describes a
// DOS program, so that DOSBox starts the companion there and the relay
// and the companion name each file alike:
// - a start folder with a drive (C:\ZINDO) becomes a link to `folder`
//   under that drive's directory (drive_c/zindo), with the folders on the
//   way made; a drive the prefix does not map gets a folder of its own
//   in the prefix (drive_d), or, for a drive's root, a link to `folder`;
// - without one, `folder` gets a drive letter of its own (dosdevices/d:),
//   unless a drive already shows it under DOS names.
// What zindo-setup made before for another folder, and no longer needs,
// is taken away. What it did not make is kept unless `force`: then a link
// is replaced, and a folder or file is set aside under another name
// ("zindo.old"), to come back when the link goes. One finding each: what
// was mapped, or what stands in the way and what to do. None when the
// companion is no DOS program.
std::vector<Finding> MapCompanionFolder(const std::string& prefix,
                                        const std::string& folder, bool force);

// Takes away what MapCompanionFolder made that is still as it made it, and
// puts back what it set aside while the name is free; says what.
std::vector<std::string> RemoveCompanionMappings(const std::string& prefix);

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_SETUP_COMPANION_DRIVES_H_
