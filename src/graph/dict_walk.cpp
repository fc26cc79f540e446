// The dict walk and its two guards against key changes: the process's dict
// watcher, or, without one, a verified snapshot of the keys.
#include "graph/dict_walk.hpp"

#include "errors/discard.hpp"

#include <new>

namespace voralix {

namespace {

// The watched walks in progress (changed only by the thread holding the GIL).
DictWalk* g_walks = nullptr;
// The watcher id; -1 until acquired, or for good when no slot was free.
int g_watcher = -1;
bool g_acquired = false;

constexpr const char kSizeChanged[] = "dictionary changed size during iteration";
constexpr const char kKeysChanged[] = "dictionary keys changed during iteration";

int on_dict_event(PyDict_WatchEvent event, PyObject* dict, PyObject*, PyObject*) noexcept
{
    // A value replaced under an existing key does not disturb a walk.
    if (event != PyDict_EVENT_MODIFIED && event != PyDict_EVENT_DEALLOCATED) {
        DictWalk::note_key_change(dict);
    }
    return 0;
}

} // namespace

Status acquire_dict_watcher() noexcept
{
    if (g_acquired) return ok_status();
    const int id = PyDict_AddWatcher(&on_dict_event);
    // Other extensions or a profiler may hold every slot (CPython raises
    // RuntimeError then): walks fall back to snapshots, which catch every
    // change that would make a walk return other keys than it started with.
    if (id < 0 && !discard_exception()) return PythonError{};
    g_watcher = id;
    g_acquired = true;
    return ok_status();
}

DictWalk::DictWalk(const Ref& dict) noexcept
    : dict_(dict), size_(dict ? PyDict_GET_SIZE(dict.get()) : 0)
{
    if (!dict_) return;
    if (g_watcher >= 0) {
        if (PyDict_Watch(g_watcher, dict_.get()) == 0) {
            guard_ = Guard::Watcher;
            next_ = g_walks;
            if (next_ != nullptr) next_->prev_ = this;
            g_walks = this;
            return;
        }
        // Only a non-dict is refused, and walks are only made over dicts; the
        // snapshot guard still covers the walk.
        if (!discard_exception()) {
            failed_ = true;
            return;
        }
    }
    try {
        keys_.reserve(static_cast<std::size_t>(size_));
    } catch (const std::bad_alloc&) {
        no_memory_ = true;
        return;
    }
    Py_ssize_t pos = 0;
    PyObject *k, *v;
    while (PyDict_Next(dict_.get(), &pos, &k, &v)) keys_.push_back(Ref::borrow(k));
}

DictWalk::~DictWalk()
{
    if (guard_ != Guard::Watcher) return;
    if (prev_ != nullptr) {
        prev_->next_ = next_;
    } else {
        g_walks = next_;
    }
    if (next_ != nullptr) next_->prev_ = prev_;
    for (DictWalk* w = g_walks; w != nullptr; w = w->next_) {
        if (w->dict_.get() == dict_.get()) return; // another walk still needs it
    }
    // Unwatching a dict we watch cannot fail; keep the caller's exception either way.
    PyObject* saved = PyErr_GetRaisedException();
    if (PyDict_Unwatch(g_watcher, dict_.get()) < 0) discard_exception();
    PyErr_SetRaisedException(saved);
}

void DictWalk::note_key_change(PyObject* dict) noexcept
{
    for (DictWalk* w = g_walks; w != nullptr; w = w->next_) {
        if (w->dict_.get() == dict) w->keys_changed_ = true;
    }
}

bool DictWalk::fail(const char* message) noexcept
{
    if (message != nullptr) PyErr_SetString(PyExc_RuntimeError, message);
    failed_ = true;
    return false;
}

bool DictWalk::snapshot_still_holds() const noexcept
{
    if (PyDict_GET_SIZE(dict_.get()) != size_) return false;
    Py_ssize_t pos = 0;
    PyObject *k, *v;
    for (const Ref& expected : keys_) {
        if (!PyDict_Next(dict_.get(), &pos, &k, &v) || k != expected.get()) return false;
    }
    return true;
}

bool DictWalk::step_allowed() noexcept
{
    if (!dict_ || failed_) return !failed_;
    if (no_memory_) {
        PyErr_NoMemory();
        return fail(nullptr);
    }
    if (PyDict_GET_SIZE(dict_.get()) != size_) return fail(kSizeChanged);
    if (keys_changed_) return fail(kKeysChanged);
    return true;
}

bool DictWalk::unchanged() noexcept
{
    if (!step_allowed()) return false;
    if (!dict_ || guard_ != Guard::Snapshot) return true;
    // A verification reads the whole dict: spread it over calls, so that a call
    // costs about kSpread entries' worth; a small dict is verified every call.
    constexpr Py_ssize_t kSpread = 16;
    if (++checks_ < size_ / kSpread) return true;
    checks_ = 0;
    return snapshot_still_holds() || fail(kKeysChanged);
}

bool DictWalk::next(PyObject*& key, PyObject*& value) noexcept
{
    if (!dict_ || failed_) return false;
    if (!interrupt_.tick()) return fail(nullptr);
    if (!step_allowed()) return false;
    PyObject *k, *v;
    if (!PyDict_Next(dict_.get(), &pos_, &k, &v)) {
        // A walk that ends early or late, or a snapshot that no longer holds,
        // means keys were replaced (the watcher flags those itself).
        const bool whole = static_cast<Py_ssize_t>(walked_) == size_;
        if (!whole || (guard_ == Guard::Snapshot && !snapshot_still_holds())) {
            return fail(kKeysChanged);
        }
        return false;
    }
    if (static_cast<Py_ssize_t>(walked_) >= size_ ||
        (guard_ == Guard::Snapshot && keys_[walked_].get() != k)) {
        return fail(kKeysChanged);
    }
    ++walked_;
    key_ = Ref::borrow(k);
    value_ = Ref::borrow(v);
    key = k;
    value = v;
    return true;
}

} // namespace voralix
