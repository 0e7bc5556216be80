#pragma once
// What a hang or crash report says about who was doing what: the main
// thread's state and the calling thread's entry in the thread table, joined
// into one identifier.
#include <cstdint>

// Main-thread states; any other value is the id of the command being run.
enum LMainState : int32_t {
    LMainStateGlobalInit = 1,
    LMainStateGuiInit = 2,
    LMainStateGuiDestroy = 3,
    LMainStateGlobalDestroy = 4,
    LMainStateMessageLoop = 5,
};

// The calling thread becomes the main thread (the one that runs main, or
// the service's main).
void LCrashSetMainThread();
void LCrashSetMainState(int32_t state);
void LCrashSetCurrentMessage(uint32_t message);
// The pipe or menu command being carried out; 5 when none.
void LCrashSetLastCommand(uint32_t command);

// "prefix-Win100-suffix-<thread><state>", at most 259 bytes.
void LCrashGetId(char out[260], const char* prefix, const char* suffix);

// The pieces, safe inside a signal handler: the calling thread's tag and
// activity ("Unknown" outside the table) with the main thread's state, and
// the joined identifier.
void LCrashGetThreadState(char out[260]);
void LCrashJoinId(char out[260], const char* prefix, const char* suffix, const char* thread_state);
int32_t LCrashGetMainState();
