#pragma once
// The points-entry module's one entry point, as the host loads it by name
// from "VozozeVove.trn".
//
// OpenFormPoints(dataContext, text1, text2) opens the points window on the
// host's connected data context and returns as soon as it is visible; all
// later work runs in the window's event handlers on the calling thread,
// which must run the GUI event loop. The two texts are accepted and not read;
// their reference counts are the same after the call as before.
//
// Errors: an error while the window is first built is shown in a message
// box and the window still opens. An error of the window's show handler
// (re-reading the current archer) leaves the call as a C++ exception. The
// function has C linkage so that it can be found by name, but it is not
// exception-neutral: the host must be a C++ program built with the same
// compiler and runtime as the module (as our host is), and catch it.

#include "sharedheap/shared_heap.h"

class TdmTallyon;

#if defined(_WIN32) && !defined(_WIN64)
#  define TALLYON_STDCALL __stdcall
#else
#  define TALLYON_STDCALL
#endif

#if defined(_WIN32)
#  define VOZOZEVOVE_EXPORT __declspec(dllexport)
#else
#  define VOZOZEVOVE_EXPORT __attribute__((visibility("default")))
#endif

// The module's file name beside the host program.
inline constexpr const char* kVozozeVoveFileName = "VozozeVove.trn";
inline constexpr const char* kOpenFormPointsName = "OpenFormPoints";

// The entry point's type, for the pointer the host looks up.
typedef void(TALLYON_STDCALL* OpenFormPointsProc)(TdmTallyon* dataContext, SharedString text1,
                                                  SharedString text2);

#if defined(VOZOZEVOVE_BUILD)
extern "C" VOZOZEVOVE_EXPORT void TALLYON_STDCALL OpenFormPoints(TdmTallyon* dataContext,
                                                                 SharedString text1,
                                                                 SharedString text2);
#endif
