#ifndef ZINDO_TOOLS_SETUP_RESOURCES_H_
#define ZINDO_TOOLS_SETUP_RESOURCES_H_

// What zindo-setup writes besides what it works out: the launcher's template
// (packaging/linux/zindo-relay.desktop.in) and its icon, drawn from the
// same picture as the Windows icon. Both are built into the program when it
// is compiled, so that it needs no installed files.
namespace zindo::tools {

extern const char kLauncherTemplate[];
extern const char kLauncherIcon[];

}  // namespace zindo::tools

#endif  // ZINDO_TOOLS_SETUP_RESOURCES_H_
