#include "platform/Messages.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct SentMessage {
  enum class State { Waiting, Running, Done, Withdrawn, Failed };
  HWND window;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  State state = State::Waiting;
  LRESULT result = 0;
  std::condition_variable changed;
};

struct PostedMessage {
  HWND window;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

struct ThreadQueue {
  std::deque<std::shared_ptr<SentMessage>> sends;
  std::deque<PostedMessage> posts;
  std::condition_variable queued;
  std::shared_ptr<ThreadMessageHooks> hooks;
  bool Empty() const { return sends.empty() && posts.empty(); }
};

struct Window {
  std::shared_ptr<MessageHandler> handler;
  std::shared_ptr<ThreadQueue> queue;
};

// One lock for the whole module: every critical section is a few pointer moves.
std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}
std::unordered_map<HWND, Window>& Windows() {
  static std::unordered_map<HWND, Window> windows;
  return windows;
}
HWND nextWindow = 1;

// Caller holds the lock.
const std::shared_ptr<ThreadQueue>& CurrentQueue() {
  thread_local std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  return queue;
}

// Caller holds the lock; the returned hook is called after releasing it.
std::shared_ptr<ThreadMessageHooks> Enqueued(ThreadQueue& queue) {
  queue.queued.notify_all();
  return queue.hooks;
}

void Wake(const std::shared_ptr<ThreadMessageHooks>& hooks) {
  if (hooks && hooks->wake) hooks->wake();
}

std::shared_ptr<MessageHandler> HandlerOf(HWND window) {
  auto it = Windows().find(window);
  return it == Windows().end() ? nullptr : it->second.handler;
}

}  // namespace

HWND CreateMessageWindow(MessageHandler handler) {
  std::lock_guard guard(Lock());
  HWND id = nextWindow++;
  if (nextWindow == 0) nextWindow = 1;
  Windows()[id] = Window{std::make_shared<MessageHandler>(std::move(handler)), CurrentQueue()};
  return id;
}

void DestroyMessageWindow(HWND window) {
  std::lock_guard guard(Lock());
  auto it = Windows().find(window);
  if (it == Windows().end()) return;
  ThreadQueue& queue = *it->second.queue;
  Windows().erase(it);
  std::erase_if(queue.posts, [window](const PostedMessage& m) { return m.window == window; });
  std::erase_if(queue.sends, [window](const std::shared_ptr<SentMessage>& m) {
    if (m->window != window) return false;
    m->state = SentMessage::State::Withdrawn;
    m->changed.notify_all();
    return true;
  });
}

bool IsMessageWindow(HWND window) {
  std::lock_guard guard(Lock());
  return Windows().contains(window);
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadMessageHooks> hooks;
  {
    std::lock_guard guard(Lock());
    auto it = Windows().find(window);
    if (it == Windows().end()) return false;
    it->second.queue->posts.push_back({window, msg, wParam, lParam});
    hooks = Enqueued(*it->second.queue);
  }
  Wake(hooks);
  return true;
}

bool SendMessageTimeout(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                        std::chrono::milliseconds timeout, LRESULT* result) {
  std::unique_lock lock(Lock());
  auto it = Windows().find(window);
  if (it == Windows().end()) return false;
  if (it->second.queue == CurrentQueue()) {
    auto handler = it->second.handler;
    lock.unlock();
    LRESULT answer = (*handler)(msg, wParam, lParam);
    if (result) *result = answer;
    return true;
  }
  auto sent = std::make_shared<SentMessage>();
  sent->window = window;
  sent->msg = msg;
  sent->wParam = wParam;
  sent->lParam = lParam;
  std::shared_ptr<ThreadQueue> queue = it->second.queue;
  queue->sends.push_back(sent);
  auto hooks = Enqueued(*queue);
  lock.unlock();
  Wake(hooks);
  lock.lock();
  using State = SentMessage::State;
  bool started =
      sent->changed.wait_for(lock, timeout, [&] { return sent->state != State::Waiting; });
  if (!started) {
    sent->state = State::Withdrawn;
    std::erase(queue->sends, sent);
    return false;
  }
  sent->changed.wait(lock, [&] { return sent->state != State::Running; });
  if (sent->state != State::Done) return false;
  if (result) *result = sent->result;
  return true;
}

void PostQuitMessage(int exitCode) {
  std::shared_ptr<ThreadMessageHooks> hooks;
  {
    std::lock_guard guard(Lock());
    auto& queue = *CurrentQueue();
    queue.posts.push_back({0, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
    hooks = Enqueued(queue);
  }
  Wake(hooks);
}

Pumped ProcessOneMessage(int* quitCode) {
  std::unique_lock lock(Lock());
  auto& queue = *CurrentQueue();
  while (!queue.sends.empty()) {
    auto sent = queue.sends.front();
    queue.sends.pop_front();
    auto handler = HandlerOf(sent->window);
    if (!handler) {
      sent->state = SentMessage::State::Withdrawn;
      sent->changed.notify_all();
      continue;
    }
    sent->state = SentMessage::State::Running;
    sent->changed.notify_all();
    lock.unlock();
    LRESULT answer = 0;
    try {
      answer = (*handler)(sent->msg, sent->wParam, sent->lParam);
    } catch (...) {
      // The sender learns that the send failed; the exception is this thread's.
      lock.lock();
      sent->state = SentMessage::State::Failed;
      sent->changed.notify_all();
      throw;
    }
    lock.lock();
    sent->result = answer;
    sent->state = SentMessage::State::Done;
    sent->changed.notify_all();
    return Pumped::Dispatched;
  }
  while (!queue.posts.empty()) {
    PostedMessage post = queue.posts.front();
    queue.posts.pop_front();
    if (post.msg == WM_QUIT) {
      if (quitCode) *quitCode = static_cast<int>(post.wParam);
      return Pumped::Quit;
    }
    auto handler = HandlerOf(post.window);
    if (!handler) continue;
    lock.unlock();
    (*handler)(post.msg, post.wParam, post.lParam);
    return Pumped::Dispatched;
  }
  return Pumped::None;
}

bool ProcessMessages() {
  for (;;) {
    int quitCode = 0;
    switch (ProcessOneMessage(&quitCode)) {
      case Pumped::None:
        return true;
      case Pumped::Dispatched:
        break;
      case Pumped::Quit:
        PostQuitMessage(quitCode);
        return false;
    }
  }
}

bool WaitMessage(std::chrono::milliseconds timeout) {
  std::unique_lock lock(Lock());
  auto queue = CurrentQueue();
  if (!queue->Empty()) return true;
  if (auto hooks = queue->hooks; hooks && hooks->wait) {
    lock.unlock();
    hooks->wait(timeout);
    lock.lock();
    return !queue->Empty();
  }
  return queue->queued.wait_for(lock, timeout, [&] { return !queue->Empty(); });
}

void SetThreadMessageHooks(ThreadMessageHooks hooks) {
  std::lock_guard guard(Lock());
  auto& queue = *CurrentQueue();
  if (hooks.wake || hooks.wait)
    queue.hooks = std::make_shared<ThreadMessageHooks>(std::move(hooks));
  else
    queue.hooks.reset();
}

std::size_t QueuedMessageCount() {
  std::lock_guard guard(Lock());
  auto& queue = *CurrentQueue();
  return queue.sends.size() + queue.posts.size();
}

}  // namespace platform
