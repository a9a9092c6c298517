// kvxgui: plays the user on the windows of other programs, the way the GUI tests need
// it. It finds top-level windows by caption and their controls by text or by class and
// rank, presses buttons, types, clicks list entries with the mouse, answers message
// boxes and reads back what the controls show.
//
//   kvxgui.exe                 serves commands, one a line on stdin (UTF-8); each answer
//                              is zero or more lines, then "ok" or "error <why>"
//   kvxgui.exe COMMAND ARG...  runs one command
//
// Commands (TARGET: the control whose text is exactly TARGET, or CLASS#N, the N-th
// visible control of that window class, counted from 1 in creation order):
//   drive X:                   the drive's kind as the system reports it
//   wait TITLE [SECONDS]       until a visible window has this caption
//   gone TITLE [SECONDS]       until no visible window has this caption
//   texts TITLE                one line per visible control: class, enabled (1/0), its
//                              text, then a list's entries or a memo's lines (a memo has
//                              no text of its own), tab-separated
//   click TITLE TARGET         presses a button (BM_CLICK)
//   type TITLE TARGET TEXT     replaces an edit's text, typed character by character
//   select TITLE TARGET ITEM   left mouse click on a list box entry, or on a combo box's
//                              arrow and then on the entry in its list
//   rclick TITLE TARGET ITEM   right mouse click on a list box entry
//   menu N                     in the open pop-up menu: N times down, then Enter
//   tab TITLE N                a click on the first tab of the window's tab control,
//                              then N times right: the page N (from 0)
//   answer TITLE yes|no|ok     presses that button of a message box
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string UTF8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

// Messages to another process's window, which may be busy: give up after two seconds.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &answer)) return -1;
  return static_cast<LRESULT>(answer);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  const LRESULT length = Ask(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::vector<std::wstring> ItemsOf(HWND window, bool combo) {
  const UINT count = combo ? CB_GETCOUNT : LB_GETCOUNT, length = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN,
             get = combo ? CB_GETLBTEXT : LB_GETTEXT;
  std::vector<std::wstring> items;
  const LRESULT n = Ask(window, count, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    const LRESULT size = Ask(window, length, static_cast<WPARAM>(i), 0);
    std::wstring item(size > 0 ? static_cast<size_t>(size) + 1 : 1, L'\0');
    const LRESULT got = Ask(window, get, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
    item.resize(got > 0 ? static_cast<size_t>(got) : 0);
    items.push_back(item);
  }
  return items;
}

struct TopSearch {
  const std::wstring& title;
  HWND found;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<TopSearch*>(data);
  if (!IsWindowVisible(window) || TextOf(window) != search.title) return TRUE;
  search.found = window;
  return FALSE;
}

HWND FindTop(const std::wstring& title) {
  TopSearch search{title, nullptr};
  EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitTop(const std::wstring& title, double seconds, bool present = true) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    HWND window = FindTop(title);
    if ((window != nullptr) == present || GetTickCount64() >= end) return window;
    Sleep(100);
  }
}

BOOL CALLBACK CollectControl(HWND window, LPARAM data) {
  if (IsWindowVisible(window) && lstrcmpiW(ClassOf(GetParent(window)).c_str(), L"ComboBox") != 0)
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  return TRUE;
}

// Visible controls of a window in creation order; a combo box's own edit is left out.
std::vector<HWND> Controls(HWND top) {
  std::vector<HWND> controls;
  EnumChildWindows(top, CollectControl, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

HWND FindControl(HWND top, const std::wstring& target) {
  const size_t hash = target.rfind(L'#');
  const int rank = hash == std::wstring::npos ? 0 : _wtoi(target.c_str() + hash + 1);
  int seen = 0;
  for (HWND control : Controls(top)) {
    if (rank > 0) {
      if (lstrcmpiW(ClassOf(control).c_str(), target.substr(0, hash).c_str()) == 0 && ++seen == rank) return control;
    } else if (TextOf(control) == target) {
      return control;
    }
  }
  return nullptr;
}

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

bool Fail(const std::string& why) {
  Say("error " + why);
  return false;
}

const char* DriveKind(UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOTE: return "remote";
    case DRIVE_CDROM: return "cdrom";
    case DRIVE_RAMDISK: return "ramdisk";
    case DRIVE_NO_ROOT_DIR: return "none";
  }
  return "unknown";
}

void ReportControl(HWND control) {
  const std::wstring cls = ClassOf(control);
  std::wstring line = cls + L"\t" + (IsWindowEnabled(control) ? L"1" : L"0") + L"\t";
  const bool list = lstrcmpiW(cls.c_str(), L"ListBox") == 0, combo = lstrcmpiW(cls.c_str(), L"ComboBox") == 0;
  if (list || combo) {
    line += TextOf(control);
    for (const std::wstring& item : ItemsOf(control, combo)) line += L"\t" + item;
  } else if (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE && lstrcmpiW(cls.c_str(), L"Edit") == 0) {
    std::wstring text = TextOf(control);  // a memo: no text of its own, its lines as entries
    for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) text.replace(at, 2, L"\t");
    line += L"\t" + text;
  } else {
    line += TextOf(control);
  }
  Say(UTF8(line));
}

void Key(WORD vk) {
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = vk;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
  Sleep(50);
}

void MouseClick(POINT at, bool right) {
  SetCursorPos(at.x, at.y);
  Sleep(50);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
  Sleep(50);
}

bool ClickItem(HWND list, const std::wstring& item, bool right) {
  const LRESULT index = Ask(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item.c_str()));
  if (index < 0) return Fail("no entry " + UTF8(item));
  RECT rect{};
  if (Ask(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)) == LB_ERR)
    return Fail("entry not shown");
  POINT at{rect.left + 8, (rect.top + rect.bottom) / 2};
  ClientToScreen(list, &at);
  MouseClick(at, right);
  return true;
}

bool ChooseTab(HWND top, int page) {
  HWND tabs = FindControl(top, L"SysTabControl32#1");
  if (!tabs) return Fail("no tabs");
  // The page is checked and chosen again when a click or key came before the tabs took input.
  for (int attempt = 0; attempt < 3; ++attempt) {
    POINT at{12, 10};
    ClientToScreen(tabs, &at);
    MouseClick(at, false);
    for (int i = 0; i < page; ++i) Key(VK_RIGHT);
    for (int i = 0; i < 10; ++i) {
      if (SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == page) return true;
      Sleep(100);
    }
  }
  return Fail("tab not chosen");
}

// A combo box's entry: a click on its arrow, then on the entry in the list it drops down,
// both given again when the box does not show the entry afterwards (a click that landed
// before the box took input). A box that a running action has disabled is waited for, as
// a person would wait.
bool PickItem(HWND combo, const std::wstring& item) {
  for (int i = 0; i < 50 && !IsWindowEnabled(combo); ++i) Sleep(100);
  RECT rect{};
  GetWindowRect(combo, &rect);
  const LRESULT wanted = Ask(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item.c_str()));
  if (wanted < 0) return Fail("no entry " + UTF8(item));
  for (int attempt = 0; attempt < 3; ++attempt) {
    MouseClick({rect.right - 8, rect.top + 10}, false);
    HWND dropped = nullptr;
    for (int i = 0; i < 20 && !dropped; ++i) {
      for (HWND list = nullptr; (list = FindWindowExW(nullptr, list, L"ComboLBox", nullptr)) != nullptr;)
        if (IsWindowVisible(list)) dropped = list;
      if (!dropped) Sleep(100);
    }
    if (!dropped) continue;
    if (!ClickItem(dropped, item, false)) return false;
    // The box shows the entry once the program has handled the click, as a person would see.
    for (int i = 0; i < 20; ++i) {
      if (Ask(combo, CB_GETCURSEL, 0, 0) == wanted) return true;
      Sleep(100);
    }
  }
  return Fail("entry not chosen " + UTF8(item));
}

bool TypeText(HWND control, const std::wstring& text) {
  if (lstrcmpiW(ClassOf(control).c_str(), L"ComboBox") == 0) control = FindWindowExW(control, nullptr, L"Edit", nullptr);
  if (!control) return Fail("no edit");
  Ask(control, EM_SETSEL, 0, -1);
  Ask(control, WM_CHAR, VK_BACK, 0);
  for (wchar_t c : text) Ask(control, WM_CHAR, c, 0);
  return true;
}

bool Answer(HWND box, const std::string& button) {
  const int id = button == "yes" ? IDYES : button == "no" ? IDNO : IDOK;
  HWND control = GetDlgItem(box, id);
  if (!control) return Fail("no button " + button);
  PostMessageW(control, BM_CLICK, 0, 0);
  return true;
}

bool Run(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("no command");
  const std::string& verb = args[0];
  const auto arg = [&](size_t i) { return i < args.size() ? Wide(args[i]) : std::wstring(); };
  if (verb == "drive" && args.size() == 2) {
    Say(args[1] + " " + DriveKind(GetDriveTypeW((arg(1) + L"\\").c_str())));
    return true;
  }
  if (verb == "menu" && args.size() == 2) {
    for (int i = std::atoi(args[1].c_str()); i > 0; --i) Key(VK_DOWN);
    Key(VK_RETURN);
    return true;
  }
  if (args.size() < 2) return Fail("missing arguments");
  const double seconds = args.size() > 2 ? std::atof(args[2].c_str()) : 10;
  if (verb == "gone") return WaitTop(arg(1), seconds, false) ? Fail("still shown: " + args[1]) : true;
  HWND top = WaitTop(arg(1), verb == "wait" ? seconds : 5);
  if (!top) return Fail("no window " + args[1]);
  if (verb == "wait") return true;
  if (verb == "texts") {
    for (HWND control : Controls(top)) ReportControl(control);
    return true;
  }
  if (verb == "answer" && args.size() == 3) return Answer(top, args[2]);
  if (verb == "tab" && args.size() == 3) return ChooseTab(top, std::atoi(args[2].c_str()));
  if (args.size() < 3) return Fail("missing arguments");
  HWND control = FindControl(top, arg(2));
  // A page just chosen shows its controls a moment later.
  for (int i = 0; i < 50 && !control; ++i) {
    Sleep(100);
    control = FindControl(top, arg(2));
  }
  if (!control) return Fail("no control " + args[2]);
  if (verb == "click") return PostMessageW(control, BM_CLICK, 0, 0) ? true : Fail("not sent");
  if (args.size() < 4) return Fail("missing arguments");
  if (verb == "type") return TypeText(control, arg(3));
  if (verb == "select" && lstrcmpiW(ClassOf(control).c_str(), L"ComboBox") == 0) return PickItem(control, arg(3));
  if (verb == "select" || verb == "rclick") return ClickItem(control, arg(3), verb == "rclick");
  return Fail("unknown command " + verb);
}

// A command line: words split at tabs, so that captions and texts keep their blanks.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    words.push_back(line.substr(start, tab - start));
  words.push_back(line.substr(start));
  return words;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return Run(std::vector<std::string>(argv + 1, argv + argc)) ? 0 : 1;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (Run(Words(line))) Say("ok");
  }
  return 0;
}
