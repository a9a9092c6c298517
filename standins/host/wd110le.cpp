// The six entry points of the host window runtime. The session is chosen when the
// link opens: scripted when KVXHOST_SCRIPT names a script, real windows otherwise.
#include <cstdlib>
#include <memory>
#include <string>

#include "host/host_link.h"
#include "standins/host/host_session.h"

namespace {

struct Runtime {
  std::unique_ptr<kvxhost::HostSession> session;
  std::string scriptPath;  // the script the session was made for
  int32_t lastResult = 0;
};

Runtime& State() {
  static Runtime runtime;
  return runtime;
}

// A new script (tests running the toolbox several times in one process) starts a new session.
kvxhost::HostSession& Session() {
  Runtime& runtime = State();
  const char* script = std::getenv("KVXHOST_SCRIPT");
  const std::string wanted = script ? script : "";
  if (!runtime.session || wanted != runtime.scriptPath) {
    runtime.scriptPath = wanted;
    runtime.session = script && *script ? kvxhost::MakeScriptSession(script, std::getenv("KVXHOST_LOG"))
                                        : kvxhost::MakeWindowSession();
  }
  return *runtime.session;
}

}  // namespace

KVX_HOST_API int32_t KVX_HOST_CALL InitModule(kvx::HostLinkRecord*) {
  Session().Init();
  return 0;
}

KVX_HOST_API int32_t KVX_HOST_CALL WDExecuteCommande(kvx::HostLinkRecord* link, const char* command) {
  State().lastResult = Session().Execute(*link, command ? command : "");
  return 0;
}

KVX_HOST_API int32_t KVX_HOST_CALL nGetValeurRetour() { return State().lastResult; }

KVX_HOST_API double KVX_HOST_CALL dGetValeurRetour() { return static_cast<double>(State().lastResult); }

KVX_HOST_API int32_t KVX_HOST_CALL TermModule(kvx::HostLinkRecord*) {
  Session().Term();
  return 0;
}

KVX_HOST_API int32_t KVX_HOST_CALL LE_HftermineCTX(int32_t value) {
  Session().ReleaseContext(value);
  return 0;
}
