// Walks a dict in insertion order while Python code may run between steps
// (a property comparison). Each step holds strong references to its key and
// value. A change of the dict between steps ends the walk with the
// RuntimeError of Python's own dict iterators: "dictionary changed size during
// iteration" when its size differs, otherwise "dictionary keys changed during
// iteration". Key changes are seen through the process's dict watcher; when no
// watcher could be had, through a snapshot of the keys that each step and the
// end of the walk verify. Either way a key removed and another added (which
// can move the walk's position) are caught.
#pragma once

#include <Python.h>

#include "errors/error.hpp"
#include "util/interrupt.hpp"
#include "util/ref.hpp"

#include <cstddef>
#include <vector>

namespace voralix {

// Claims a dict watcher for all walks, once per process (module init calls
// it). No free watcher slot is no failure: walks then verify snapshots.
Status acquire_dict_watcher() noexcept;

class DictWalk {
public:
    // `dict` may be null (a graph cleared by the garbage collector): an empty walk.
    explicit DictWalk(const Ref& dict) noexcept;
    ~DictWalk();
    DictWalk(const DictWalk&) = delete;
    DictWalk& operator=(const DictWalk&) = delete;

    // Advances to the next entry. Returns false at the end or on an error
    // (then failed() is true and a Python exception is set: a change of the
    // dict, or the exception of a signal handler, as every step is a loop step).
    bool next(PyObject*& key, PyObject*& value) noexcept;
    bool failed() const noexcept { return failed_; }
    // Checks, without advancing, that the dict has not changed since the walk
    // began; false (with the RuntimeError set) when it has. Without a watcher
    // the size is checked every call, the keys of a large dict every so many
    // calls (a change is then reported some calls late, or not at all when
    // no more calls follow), so that a call costs O(1) on average.
    bool unchanged() noexcept;

    // Called by the watcher for a change of the keys of `dict`.
    static void note_key_change(PyObject* dict) noexcept;

private:
    enum class Guard : std::uint8_t { Watcher, Snapshot };

    bool fail(const char* message) noexcept;
    // The checks of every step: no pending failure, same size, no key change seen.
    bool step_allowed() noexcept;
    bool snapshot_still_holds() const noexcept;

    Ref dict_;
    Py_ssize_t size_;
    Py_ssize_t pos_ = 0;
    std::size_t walked_ = 0; // entries returned so far
    Ref key_, value_;        // keep the current entry alive while it is used
    // The keys at the start, in order (Snapshot guard only). Strong
    // references: a replacing key can never reuse an address.
    std::vector<Ref> keys_;
    Py_ssize_t checks_ = 0; // unchanged() calls since the keys were last verified
    InterruptCheck interrupt_;
    Guard guard_ = Guard::Snapshot;
    bool no_memory_ = false; // the snapshot could not be taken
    bool failed_ = false;
    bool keys_changed_ = false;
    // The watched walks in progress, in a list: they nest on re-entry and, when
    // Python code run by a comparison switches threads, interleave across threads.
    DictWalk* prev_ = nullptr;
    DictWalk* next_ = nullptr;
};

} // namespace voralix
