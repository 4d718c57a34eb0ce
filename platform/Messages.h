// Window messages: the stand-in for the Windows message queue.
//
// A message target ("window") is an integer handle with a handler. It belongs
// to the thread that created it; that thread's queue delivers its posted
// messages and the cross-thread sends addressed to it. Every function here may
// be called from any thread unless said otherwise. Handlers run on the owner
// thread with no lock of this module held, so they may post, send, create and
// destroy windows, and pump messages themselves.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// windows.h defines these as macros; ours are plain functions.
#undef PostMessage
#undef SendMessageTimeout

namespace platform {

using HWND = std::uint32_t;  // 0 is "no window"
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

using MessageHandler = std::function<LRESULT(UINT msg, WPARAM wParam, LPARAM lParam)>;

// Creates a window owned by the calling thread.
HWND CreateMessageWindow(MessageHandler handler);

// Destroys a window: its queued posts are dropped and cross-thread sends that
// have not started yet fail. Any thread may destroy; a handler running at the
// time finishes normally.
void DestroyMessageWindow(HWND window);

bool IsMessageWindow(HWND window);

// Queues a message for the window's owner thread. False when there is no such
// window.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// On the owner thread: calls the handler directly. From another thread: queues
// the message, blocks up to the timeout and returns true only if the handler
// started in time (the caller then waits for it to finish, so pointers passed
// in wParam/lParam stay valid). A send that timed out is withdrawn and never
// runs later. False as well for a window that does not exist or is destroyed
// before its handler starts, and for a handler that raises (the exception
// goes to the caller of the owner thread's ProcessOneMessage).
bool SendMessageTimeout(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                        std::chrono::milliseconds timeout, LRESULT* result = nullptr);

// Queues WM_QUIT (wParam = exit code) for the calling thread.
void PostQuitMessage(int exitCode);

enum class Pumped {
  None,        // nothing was queued
  Dispatched,  // one message was delivered
  Quit,        // a WM_QUIT was taken from the queue; it is not re-posted
};

// Delivers one queued message of the calling thread: pending sends first, then
// posts in order. Posts to destroyed windows are skipped. What a handler
// raises passes through to the caller, the message counting as delivered.
Pumped ProcessOneMessage(int* quitCode = nullptr);

// Delivers what is queued until the queue is empty. A quit message ends it:
// it is posted again and the result is false.
bool ProcessMessages();

// Blocks the calling thread until a message is queued for it or the timeout
// passes; true when something is queued. On a thread with a wait hook (the Qt
// adapter's GUI thread) the hook does the waiting, so toolkit events run too.
bool WaitMessage(std::chrono::milliseconds timeout);

// Called from any thread whenever a message is queued for the hooked thread,
// and asked to wait on that thread. Installed by a toolkit adapter on its GUI
// thread; nullptr removes them.
struct ThreadMessageHooks {
  std::function<void()> wake;
  std::function<void(std::chrono::milliseconds timeout)> wait;
};
void SetThreadMessageHooks(ThreadMessageHooks hooks);

// Number of messages queued for the calling thread (sends and posts).
std::size_t QueuedMessageCount();

}  // namespace platform
