#include "support/CrashGuard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{
constexpr UINT CrashExitCode = 3;

// Faults no code of the program handles on purpose. Breakpoints, C++ throws, debugger output
// and RPC exceptions are raised and handled normally, so they are left alone.
bool IsFatal(DWORD code)
{
    static const DWORD fatal[] = {EXCEPTION_ACCESS_VIOLATION,    EXCEPTION_IN_PAGE_ERROR,     EXCEPTION_STACK_OVERFLOW,
                                  EXCEPTION_ILLEGAL_INSTRUCTION, EXCEPTION_PRIV_INSTRUCTION,  EXCEPTION_INT_DIVIDE_BY_ZERO,
                                  EXCEPTION_ARRAY_BOUNDS_EXCEEDED};
    return std::find(std::begin(fatal), std::end(fatal), code) != std::end(fatal);
}

[[noreturn]] void EndRun(const EXCEPTION_RECORD& record)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::printf("\n[  CRASHED ] %s.%s: exception 0x%08lX at %p\n", test ? test->test_suite_name() : "(no test)",
                test ? test->name() : "", static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), CrashExitCode);
    std::_Exit(CrashExitCode);  // not reached: only states that nothing returns from here
}

// First in line, before any handler of the system's own that would swallow the fault.
LONG CALLBACK OnFirstChance(EXCEPTION_POINTERS* info)
{
    if (IsFatal(info->ExceptionRecord->ExceptionCode))
        EndRun(*info->ExceptionRecord);
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) { EndRun(*info->ExceptionRecord); }
}

void InstallCrashGuard()
{
    AddVectoredExceptionHandler(1, OnFirstChance);
    SetUnhandledExceptionFilter(OnUnhandled);
}
