#include "platform/desktop/desktop-posix.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <utility>
#include <vector>

#include "base/error.h"

namespace zindo {
namespace {

// The libX11 functions used, resolved from the library at run time. The
// headers give their types; nothing links against libX11.
struct XLibrary {
  void* handle = nullptr;
  decltype(&::XOpenDisplay) OpenDisplay;
  decltype(&::XCloseDisplay) CloseDisplay;
  decltype(&::XDefaultRootWindow) RootWindowOf;
  decltype(&::XQueryTree) QueryTree;
  decltype(&::XFree) Free;
  decltype(&::XInternAtom) InternAtom;
  decltype(&::XGetWindowProperty) GetWindowProperty;
  decltype(&::XStringToKeysym) StringToKeysym;
  decltype(&::XKeysymToKeycode) KeysymToKeycode;
  decltype(&::XSendEvent) SendEvent;
  decltype(&::XSync) Sync;
  decltype(&::XSetErrorHandler) SetErrorHandler;
  decltype(&::XSetIOErrorHandler) SetIOErrorHandler;
  // Since libX11 1.7; without it a lost connection ends the process.
  decltype(&::XSetIOErrorExitHandler) SetIOErrorExitHandler = nullptr;
};

template <typename Function>
void Resolve(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(handle, name));
  if (function == nullptr) {
    throw Error(std::string("libX11 has no ") + name);
  }
}

XLibrary LoadXLibrary() {
  XLibrary x;
  x.handle = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (x.handle == nullptr) {
    throw Error(std::string("the X library cannot be loaded (") + ::dlerror() +
                ")");
  }
  Resolve(x.handle, "XOpenDisplay", x.OpenDisplay);
  Resolve(x.handle, "XCloseDisplay", x.CloseDisplay);
  Resolve(x.handle, "XDefaultRootWindow", x.RootWindowOf);
  Resolve(x.handle, "XQueryTree", x.QueryTree);
  Resolve(x.handle, "XFree", x.Free);
  Resolve(x.handle, "XInternAtom", x.InternAtom);
  Resolve(x.handle, "XGetWindowProperty", x.GetWindowProperty);
  Resolve(x.handle, "XStringToKeysym", x.StringToKeysym);
  Resolve(x.handle, "XKeysymToKeycode", x.KeysymToKeycode);
  Resolve(x.handle, "XSendEvent", x.SendEvent);
  Resolve(x.handle, "XSync", x.Sync);
  Resolve(x.handle, "XSetErrorHandler", x.SetErrorHandler);
  Resolve(x.handle, "XSetIOErrorHandler", x.SetIOErrorHandler);
  x.SetIOErrorExitHandler = reinterpret_cast<decltype(x.SetIOErrorExitHandler)>(
      ::dlsym(x.handle, "XSetIOErrorExitHandler"));
  return x;
}

// Xlib's default handler ends the process on any protocol error, such as a
// window that closed between finding it and sending to it. The relay's
// errors are counted instead and checked after each request.
int last_x_error = 0;

int RecordXError(Display*, XErrorEvent* event) {
  last_x_error = event->error_code;
  return 0;
}

// A lost connection (the X server ended) would end the relay too: Xlib
// calls exit() once the handler returns, unless an exit handler returns
// instead. The connection is then dropped.
bool connection_lost = false;

int RecordLostConnection(Display*) {
  connection_lost = true;
  return 0;
}

void KeepRunning(Display*, void*) { connection_lost = true; }

}  // namespace

class PosixDesktop::Connection {
 public:
  explicit Connection(const std::string& display_name) : x_(LoadXLibrary()) {
    display_ = x_.OpenDisplay(display_name.c_str());
    if (display_ == nullptr) {
      throw Error("the X display " + display_name + " cannot be opened");
    }
    x_.SetErrorHandler(RecordXError);
    x_.SetIOErrorHandler(RecordLostConnection);
    if (x_.SetIOErrorExitHandler != nullptr) {
      x_.SetIOErrorExitHandler(display_, KeepRunning, nullptr);
    }
    connection_lost = false;
    pid_atom_ = x_.InternAtom(display_, "_NET_WM_PID", False);
  }
  // Xlib sends nothing on a connection it knows is lost, and frees it.
  ~Connection() {
    x_.CloseDisplay(display_);
    ::dlclose(x_.handle);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The window that carries `process_id` as its _NET_WM_PID, as SDL and
  // every toolkit set it on their top-level windows (below a window
  // manager's frame, if any), or None. The last one found is tried first.
  Window WindowOf(int process_id) {
    if (found_ != None && ProcessOf(found_) == process_id) return found_;
    found_ = Search(x_.RootWindowOf(display_), process_id);
    return found_;
  }

  // Control down, the key down and up, Control up: a program may follow the
  // modifier through the key events it gets, not through their state.
  void SendControlKey(Window window, const std::string& key) {
    KeySym symbol = x_.StringToKeysym(key.c_str());
    KeyCode code =
        symbol == NoSymbol ? 0 : x_.KeysymToKeycode(display_, symbol);
    KeyCode control = x_.KeysymToKeycode(display_, XK_Control_L);
    if (code == 0 || control == 0) {
      throw Error("the X display has no key " + key + " or Control");
    }
    last_x_error = 0;
    bool sent = Send(window, KeyPress, control, 0) &&
                Send(window, KeyPress, code, ControlMask) &&
                Send(window, KeyRelease, code, ControlMask) &&
                Send(window, KeyRelease, control, ControlMask);
    x_.Sync(display_, False);
    if (!sent || last_x_error != 0) {
      throw Error("the X server refused the key event (error " +
                  std::to_string(last_x_error) + ")");
    }
  }

 private:
  Window Search(Window parent, int process_id) {
    for (Window window : Children(parent)) {
      long owner = ProcessOf(window);
      if (owner == process_id) return window;
      // A window with an owner is a program's top level; its children are
      // its own.
      if (owner >= 0) continue;
      if (Window inner = Search(window, process_id); inner != None) {
        return inner;
      }
    }
    return None;
  }

  std::vector<Window> Children(Window parent) {
    Window root_return, parent_return;
    Window* children = nullptr;
    unsigned int count = 0;
    if (x_.QueryTree(display_, parent, &root_return, &parent_return, &children,
                     &count) == 0) {
      return {};
    }
    std::vector<Window> found(children, children + count);
    if (children != nullptr) x_.Free(children);
    return found;
  }

  long ProcessOf(Window window) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    last_x_error = 0;
    if (x_.GetWindowProperty(display_, window, pid_atom_, 0, 1, False,
                             XA_CARDINAL, &type, &format, &items, &after,
                             &data) != Success ||
        last_x_error != 0) {
      return -1;
    }
    long process_id = -1;
    if (data != nullptr && format == 32 && items == 1) {
      process_id = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data != nullptr) x_.Free(data);
    return process_id;
  }

  bool Send(Window window, int type, KeyCode code, unsigned int state) {
    XKeyEvent event{};
    event.type = type;
    event.display = display_;
    event.window = window;
    event.root = x_.RootWindowOf(display_);
    event.subwindow = None;
    event.time = CurrentTime;
    event.same_screen = True;
    event.keycode = code;
    event.state = state;
    long mask = type == KeyPress ? KeyPressMask : KeyReleaseMask;
    return x_.SendEvent(display_, window, True, mask,
                        reinterpret_cast<XEvent*>(&event)) != 0;
  }

  XLibrary x_;
  Display* display_ = nullptr;
  Atom pid_atom_ = None;
  Window found_ = None;
};

PosixDesktop::PosixDesktop(std::string display, std::string wayland_display)
    : display_(std::move(display)),
      wayland_display_(std::move(wayland_display)) {}

PosixDesktop::~PosixDesktop() = default;

bool PosixDesktop::HasDisplay() {
  return !display_.empty() || !wayland_display_.empty();
}

void PosixDesktop::SendControlFunctionKey(int process_id, int number) {
  const std::string key = "F" + std::to_string(number);
  if (display_.empty()) {
    throw Error("there is no X display (DISPLAY is not set)");
  }
  if (connection_ == nullptr) {
    connection_ = std::make_unique<Connection>(display_);
  }
  try {
    Window window = connection_->WindowOf(process_id);
    if (window == None && !connection_lost) {
      throw Error("process " + std::to_string(process_id) +
                  " has no window on display " + display_);
    }
    if (!connection_lost) connection_->SendControlKey(window, key);
  } catch (const Error&) {
    if (!connection_lost) throw;
  }
  if (connection_lost) {
    connection_.reset();
    throw Error("the connection to the X display " + display_ + " was lost");
  }
}

}  // namespace zindo
