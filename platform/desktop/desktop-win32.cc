#include "platform/desktop/desktop-win32.h"

#include <string>

#include "platform/windows-win32.h"

namespace zindo {
namespace {

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

// Takes the first visible top-level window of the process that is not a
// console (Windows reports a console's window as its program's own).
BOOL CALLBACK TakeProcessWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || !::IsWindowVisible(window)) return TRUE;
  wchar_t class_name[64] = L"";
  ::GetClassNameW(window, class_name, 64);
  if (std::wstring(class_name) == L"ConsoleWindowClass") return TRUE;
  search->found = window;
  return FALSE;
}

UINT FunctionKeyOf(int number, const std::string& key) {
  if (number >= 1 && number <= 24) return VK_F1 + number - 1;
  throw Error("no Windows key is named " + key);
}

// What a keyboard sends with the key: one stroke, its scan code (which a
// program may map to its own key), and for a release the key's previous
// state and the transition. A press must not look repeated: programs may
// drop repeats.
LPARAM KeyStroke(UINT virtual_key, bool press) {
  const UINT scan_code = ::MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  LPARAM stroke = 1 | static_cast<LPARAM>(scan_code & 0xFF) << 16;
  if (!press) stroke |= static_cast<LPARAM>(0xC0000000u);
  return stroke;
}

}  // namespace

// Each WM_KEYDOWN and WM_KEYUP reads as a key event of its own, and
// VK_CONTROL without the extended bit as the left Control; a program may
// keep the Control state from those events, not from the system.
void Win32Desktop::SendControlFunctionKey(int process_id, int number) {
  const std::string key = "F" + std::to_string(number);
  const UINT virtual_key = FunctionKeyOf(number, key);
  WindowSearch search{static_cast<DWORD>(process_id), nullptr};
  ::EnumWindows(TakeProcessWindow, reinterpret_cast<LPARAM>(&search));
  const std::string what = "process " + std::to_string(process_id);
  if (search.found == nullptr) throw Error(what + " has no window");
  const struct {
    UINT message;
    UINT key;
  } strokes[] = {{WM_KEYDOWN, VK_CONTROL},
                 {WM_KEYDOWN, virtual_key},
                 {WM_KEYUP, virtual_key},
                 {WM_KEYUP, VK_CONTROL}};
  for (const auto& stroke : strokes) {
    if (!::PostMessageW(search.found, stroke.message, stroke.key,
                        KeyStroke(stroke.key, stroke.message == WM_KEYDOWN))) {
      throw LastWin32Error("send Control+" + key + " to " + what + "'s window");
    }
  }
}

}  // namespace zindo
