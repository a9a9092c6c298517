// Interactive mode: the host windows as real windows. The menu's buttons come from
// the KVXOUTIL.WDL file that BIBLI opened; the progress window has the two gauges and
// two labels the toolbox updates; the licence viewer shows an RTF file.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <map>
#include <string>
#include <vector>

#include "base/win32_scope.h"
#include "host/host_rules.h"
#include "standins/host/host_commands.h"
#include "standins/host/host_session.h"

namespace kvxhost {
namespace {

constexpr char kWindowClass[] = "KvxHostWindow";
constexpr int kFirstButtonId = 1000;

struct HostWindow {
  std::string name;
  HWND hwnd = nullptr;
  std::map<std::string, HWND> controls;  // named controls, upper-case names
  std::vector<std::string> buttonCodes;  // code of button kFirstButtonId + i
};

struct PressState {
  bool pressed = false;
  std::string code;
};

PressState& Press() {
  static PressState state;
  return state;
}

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {  // Esc in a host window
        Press() = {true, "ESC"};
        return 0;
      }
      if (window && HIWORD(wParam) == BN_CLICKED) {
        const size_t index = LOWORD(wParam) - kFirstButtonId;
        if (index < window->buttonCodes.size()) Press() = {true, window->buttonCodes[index]};
      }
      return 0;
    case WM_CLOSE:
      Press() = {true, "ESC"};  // closing a host window ends its input like Esc
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void RegisterHostClass() {
  static bool registered = false;
  if (registered) return;
  INITCOMMONCONTROLSEX common{sizeof common, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  LoadLibraryA("riched20.dll");
  WNDCLASSA wc{};
  wc.lpfnWndProc = HostWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  registered = true;
}

HWND AddControl(HostWindow& window, const char* cls, const std::string& text, DWORD style, int x, int y, int w, int h,
                int id = 0) {
  HWND control = CreateWindowExA(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, window.hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  return control;
}

void AddButton(HostWindow& window, const std::string& code, const std::string& caption, int x, int y, int w, int h) {
  const int id = kFirstButtonId + static_cast<int>(window.buttonCodes.size());
  window.buttonCodes.push_back(code);
  window.controls[kvx::ASCIIUpper(code)] = AddControl(window, "BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, x, y, w, h, id);
}

HWND CreateFrame(HostWindow& window, const std::string& caption, int clientWidth, int clientHeight) {
  RECT rect{0, 0, clientWidth, clientHeight};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&rect, style, FALSE);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  window.hwnd = CreateWindowExA(0, kWindowClass, caption.c_str(), style, x, y, width, height, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(window.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&window));
  return window.hwnd;
}

std::string ProfileText(const std::string& file, const char* section, const std::string& key) {
  char buffer[512] = {};
  GetPrivateProfileStringA(section, key.c_str(), "", buffer, sizeof buffer, file.c_str());
  return buffer;
}

// Menu window: "ButtonN=CODE,Caption" lines of the window's section in KVXOUTIL.WDL.
void BuildMenu(HostWindow& window, const std::string& wdlPath) {
  const char* section = window.name.c_str();
  std::string caption = ProfileText(wdlPath, section, "Caption");
  if (caption.empty()) caption = window.name;
  struct Entry {
    std::string code, caption;
  };
  std::vector<Entry> entries;
  for (int i = 1; i <= 40; ++i) {
    const std::string line = ProfileText(wdlPath, section, "Button" + std::to_string(i));
    if (line.empty()) continue;
    const size_t comma = line.find(',');
    entries.push_back({line.substr(0, comma), comma == std::string::npos ? line : line.substr(comma + 1)});
  }
  const int columns = 2, buttonWidth = 260, buttonHeight = 34, gap = 10, top = 56;
  const int rows = (static_cast<int>(entries.size()) + columns - 1) / columns;
  CreateFrame(window, caption, columns * (buttonWidth + gap) + gap, top + rows * (buttonHeight + gap) + gap);
  const std::string title = ProfileText(wdlPath, section, "Title");
  HWND heading = AddControl(window, "STATIC", title.empty() ? caption : title, SS_CENTER, gap, 14,
                            columns * (buttonWidth + gap) - gap, 28);
  static HFONT big = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  SendMessageA(heading, WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
  for (size_t i = 0; i < entries.size(); ++i) {
    const int col = static_cast<int>(i) % columns, row = static_cast<int>(i) / columns;
    AddButton(window, entries[i].code, entries[i].caption, gap + col * (buttonWidth + gap),
              top + row * (buttonHeight + gap), buttonWidth, buttonHeight);
  }
}

void BuildProgress(HostWindow& window) {
  CreateFrame(window, "Progression", 460, 150);
  window.controls["LIB_LIBELLE"] = AddControl(window, "STATIC", "", 0, 16, 14, 428, 18);
  window.controls["JAUGE_JAUGE3"] = AddControl(window, PROGRESS_CLASSA, "", 0, 16, 36, 428, 20);
  window.controls["LIB_FICHIER_EN_COURS1"] = AddControl(window, "STATIC", "", 0, 16, 72, 428, 18);
  window.controls["JAUGE_JAUGE1"] = AddControl(window, PROGRESS_CLASSA, "", 0, 16, 94, 428, 20);
}

void BuildLicenceViewer(HostWindow& window) {
  CreateFrame(window, "Licence", 640, 480);
  window.controls["RTF"] = AddControl(window, RICHEDIT_CLASSA, "",
                                      WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 10, 10,
                                      620, 420);
  AddButton(window, "OK", "Fermer", 530, 440, 100, 30);
}

void BuildGeneric(HostWindow& window) {
  CreateFrame(window, window.name, 300, 90);
  AddButton(window, "OK", "OK", 100, 30, 100, 30);
}

DWORD CALLBACK ReadRtfChunk(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
  DWORD got = 0;
  const BOOL ok = ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &got, nullptr);
  *read = static_cast<LONG>(got);
  return ok ? 0 : 1;
}

void LoadRtf(HWND edit, const std::string& path) {
  const kvx::win32::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return;
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(file.get()), 0, ReadRtfChunk};
  SendMessageA(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

void PumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class WindowSession final : public HostSession {
 public:
  void Init() override { RegisterHostClass(); }

  int32_t Execute(kvx::HostLinkRecord& link, std::string_view command) override {
    const HostCommandText parsed = ParseCommand(command);
    switch (parsed.verb) {
      case Verb::Bibli: return OpenLibrary(parsed.arguments);
      case Verb::Ouvre: OpenWindow(WindowName(parsed.arguments)); return 0;
      case Verb::Ferme: CloseTopWindow(); return 0;
      case Verb::Saisie: WriteButtonCode(link, RunInput()); return 0;
      case Verb::Affiche: ShowValue(ParseDisplay(parsed.arguments)); return 0;
      case Verb::Info: Box(parsed.arguments, "Information", MB_OK | MB_ICONINFORMATION); return 0;
      case Verb::Erreur: Box(parsed.arguments, "Erreur", MB_OK | MB_ICONERROR); return 0;
      case Verb::OuiNon: return Box(parsed.arguments, "Question", MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
      case Verb::Handle: return HandleOf(WindowName(parsed.arguments));
      case Verb::Multitache: PumpPending(); return 0;
      case Verb::Execute: RunProcedure(parsed); return 0;
      default: return 0;
    }
  }

  void Term() override {
    while (!windows_.empty()) CloseTopWindow();
  }

  void ReleaseContext(int32_t) override {}

 private:
  int32_t OpenLibrary(const std::string& arguments) {
    const int32_t answer = LibraryAnswer(arguments);
    if (answer == 0) {
      char folder[MAX_PATH] = {};
      GetCurrentDirectoryA(MAX_PATH, folder);
      wdlPath_ = std::string(folder) + "\\..\\KVXOUTIL.WDL";
    }
    return answer;
  }

  void OpenWindow(const std::string& name) {
    windows_.push_back(std::make_unique<HostWindow>());
    HostWindow& window = *windows_.back();
    window.name = name;
    if (name == "FEN_PROGRESS") BuildProgress(window);
    else if (name == "FEN_CLUF_VIEW") BuildLicenceViewer(window);
    else if (!wdlPath_.empty() && !ProfileText(wdlPath_, name.c_str(), "Button1").empty()) BuildMenu(window, wdlPath_);
    else BuildGeneric(window);
    ShowWindow(window.hwnd, SW_SHOW);
    UpdateWindow(window.hwnd);
  }

  void CloseTopWindow() {
    if (windows_.empty()) return;
    DestroyWindow(windows_.back()->hwnd);
    windows_.pop_back();
    PumpPending();
  }

  std::string RunInput() {
    if (windows_.empty()) return "ESC";
    HWND hwnd = windows_.back()->hwnd;
    SetForegroundWindow(hwnd);
    if (HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE)) SetFocus(first);
    Press() = {};
    MSG msg;
    while (!Press().pressed) {
      if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return "ESC";
      if (!IsDialogMessageA(hwnd, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    return Press().code;
  }

  HWND FindControl(const std::string& name) {
    const std::string key = kvx::ASCIIUpper(name);
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
      if (auto found = (*it)->controls.find(key); found != (*it)->controls.end()) return found->second;
    return nullptr;
  }

  void ShowValue(const Display& display) {
    HWND control = FindControl(display.control);
    if (!control) return;
    char cls[32] = {};
    GetClassNameA(control, cls, sizeof cls);
    if (lstrcmpiA(cls, PROGRESS_CLASSA) == 0)
      SendMessageA(control, PBM_SETPOS, static_cast<WPARAM>(std::atoi(display.value.c_str())), 0);
    else
      SetWindowTextA(control, display.value.c_str());
    UpdateWindow(control);
  }

  int Box(const std::string& text, const char* title, UINT type) {
    HWND owner = windows_.empty() ? nullptr : windows_.back()->hwnd;
    return MessageBoxA(owner, text.c_str(), title, type | MB_SETFOREGROUND);
  }

  int32_t HandleOf(const std::string& name) {
    for (const auto& window : windows_)
      if (window->name == name) return static_cast<int32_t>(reinterpret_cast<INT_PTR>(window->hwnd));
    return 0;
  }

  void RunProcedure(const HostCommandText& call) {
    if (kvx::ASCIIUpper(call.procedure) == "CHARGE" && !call.procArgs.empty())
      if (HWND edit = FindControl("RTF")) LoadRtf(edit, call.procArgs.front());
  }

  std::vector<std::unique_ptr<HostWindow>> windows_;
  std::string wdlPath_;
};

}  // namespace

std::unique_ptr<HostSession> MakeWindowSession() { return std::make_unique<WindowSession>(); }

}  // namespace kvxhost
