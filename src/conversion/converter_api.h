// The text-converter API as the converter libraries export it. Every entry
// point and both data callbacks use the stdcall convention; the 16-bit
// results come back in the low word of the return register.
#pragma once

#include <windows.h>

#include <type_traits>

// The data callback a converter calls during a conversion: the output
// callback for import, the input callback for export.
typedef long(__stdcall *PFN_RTF)(long cchBuff, long nPercent);

typedef long(__stdcall *PFN_InitConverter32)(HANDLE hWnd, char *szModule);
typedef HGLOBAL(__stdcall *PFN_RegisterApp)(unsigned long lFlags, void *lpRegApp);
typedef short(__stdcall *PFN_IsFormatCorrect32)(HANDLE ghszFile, HANDLE ghszClass);
typedef short(__stdcall *PFN_ForeignToRtf32)(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff,
                                             HANDLE ghszClass, HANDLE ghszSubset, PFN_RTF lpfnOut);
typedef short(__stdcall *PFN_RtfToForeign32)(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff,
                                             HANDLE ghszClass, PFN_RTF lpfnIn);

#if defined(__i386__)
// On x86_64 there is one calling convention and a wrong one cannot show; on
// i686 it corrupts the stack on every call. Refuse to build it there.
template <class F>
struct is_stdcall_pointer : std::false_type {};
template <class R, class... A>
struct is_stdcall_pointer<R(__stdcall *)(A...)> : std::true_type {};

static_assert(is_stdcall_pointer<PFN_RTF>::value, "data callbacks must be stdcall");
static_assert(is_stdcall_pointer<PFN_InitConverter32>::value, "InitConverter32 must be stdcall");
static_assert(is_stdcall_pointer<PFN_RegisterApp>::value, "RegisterApp must be stdcall");
static_assert(is_stdcall_pointer<PFN_IsFormatCorrect32>::value, "IsFormatCorrect32 must be stdcall");
static_assert(is_stdcall_pointer<PFN_ForeignToRtf32>::value, "ForeignToRtf32 must be stdcall");
static_assert(is_stdcall_pointer<PFN_RtfToForeign32>::value, "RtfToForeign32 must be stdcall");
static_assert(!is_stdcall_pointer<long (*)(long, long)>::value, "the stdcall check must tell");
#endif
