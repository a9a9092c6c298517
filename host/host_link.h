// The link record and the six entry points of the host window runtime (WD110LE.DLL).
// Shared by the bridge and by the runtime stand-in, so both sides always agree.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvx {

// 240-byte record passed to every runtime call. Only bytes 1 and 2 (written before
// InitModule) and the 3-byte code at 232 (read after each command) carry meaning.
struct HostLinkRecord {
  uint8_t bytes[240];
};
static_assert(sizeof(HostLinkRecord) == 240);

inline constexpr size_t kLinkInitByte1 = 1;    // set to 2 before InitModule
inline constexpr size_t kLinkInitByte2 = 2;    // set to 0 before InitModule
inline constexpr size_t kLinkButtonCode = 232;  // code of the control that ended the input
inline constexpr size_t kLinkButtonCodeSize = 3;

}  // namespace kvx

#if defined(_WIN32)
#  if defined(KVX_BUILDING_WD110LE)
#    define KVX_HOST_API extern "C" __declspec(dllexport)
#  else
#    define KVX_HOST_API extern "C" __declspec(dllimport)
#  endif
#  define KVX_HOST_CALL __stdcall
#else
#  define KVX_HOST_API extern "C"
#  define KVX_HOST_CALL
#endif

KVX_HOST_API int32_t KVX_HOST_CALL InitModule(kvx::HostLinkRecord* link);
KVX_HOST_API int32_t KVX_HOST_CALL WDExecuteCommande(kvx::HostLinkRecord* link, const char* command);
KVX_HOST_API int32_t KVX_HOST_CALL nGetValeurRetour();
KVX_HOST_API double KVX_HOST_CALL dGetValeurRetour();
KVX_HOST_API int32_t KVX_HOST_CALL TermModule(kvx::HostLinkRecord* link);
KVX_HOST_API int32_t KVX_HOST_CALL LE_HftermineCTX(int32_t value);
