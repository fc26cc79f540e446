#include "graph/dict_walk.hpp"

namespace voralix {

namespace {

// The walks in progress (changed only by the thread holding the GIL).
DictWalk* g_walks = nullptr;

int on_dict_event(PyDict_WatchEvent event, PyObject* dict, PyObject*, PyObject*) noexcept
{
    // A value replaced under an existing key does not disturb a walk.
    if (event != PyDict_EVENT_MODIFIED && event != PyDict_EVENT_DEALLOCATED) {
        DictWalk::note_key_change(dict);
    }
    return 0;
}

// The watcher id, made at first use; -1 when none could be had (walks then
// fall back to the size and count checks alone).
int watcher_id()
{
    static int id = [] {
        int w = PyDict_AddWatcher(&on_dict_event);
        if (w < 0) PyErr_Clear();
        return w;
    }();
    return id;
}

} // namespace

DictWalk::DictWalk(const Ref& dict) noexcept
    : dict_(dict), size_(dict ? PyDict_GET_SIZE(dict.get()) : 0), remaining_(size_)
{
    if (!dict_) return;
    next_ = g_walks;
    if (next_ != nullptr) next_->prev_ = this;
    g_walks = this;
    const int id = watcher_id();
    if (id >= 0) {
        if (PyDict_Watch(id, dict_.get()) == 0) {
            watched_ = true;
        } else {
            PyErr_Clear();
        }
    }
}

DictWalk::~DictWalk()
{
    if (!dict_) return;
    if (prev_ != nullptr) {
        prev_->next_ = next_;
    } else {
        g_walks = next_;
    }
    if (next_ != nullptr) next_->prev_ = prev_;
    if (!watched_) return;
    for (DictWalk* w = g_walks; w != nullptr; w = w->next_) {
        if (w->watched_ && w->dict_.get() == dict_.get()) return; // another walk still needs it
    }
    PyObject* saved = PyErr_GetRaisedException();
    if (PyDict_Unwatch(watcher_id(), dict_.get()) < 0) PyErr_Clear();
    PyErr_SetRaisedException(saved);
}

void DictWalk::note_key_change(PyObject* dict) noexcept
{
    for (DictWalk* w = g_walks; w != nullptr; w = w->next_) {
        if (w->dict_.get() == dict) w->keys_changed_ = true;
    }
}

bool DictWalk::unchanged() noexcept
{
    if (!dict_ || failed_) return !failed_;
    if (PyDict_GET_SIZE(dict_.get()) != size_) {
        PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
        failed_ = true;
        return false;
    }
    if (keys_changed_) {
        PyErr_SetString(PyExc_RuntimeError, "dictionary keys changed during iteration");
        failed_ = true;
        return false;
    }
    return true;
}

bool DictWalk::next(PyObject*& key, PyObject*& value) noexcept
{
    if (!dict_) return false;
    if (!unchanged()) return false;
    PyObject *k, *v;
    if (!PyDict_Next(dict_.get(), &pos_, &k, &v)) return false;
    if (remaining_ == 0) {
        PyErr_SetString(PyExc_RuntimeError, "dictionary keys changed during iteration");
        failed_ = true;
        return false;
    }
    --remaining_;
    key_ = Ref::borrow(k);
    value_ = Ref::borrow(v);
    key = k;
    value = v;
    return true;
}

} // namespace voralix
