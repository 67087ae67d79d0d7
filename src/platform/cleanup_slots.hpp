// A result's temporary file, alike on every platform: its name, which a
// signal must not leave behind, in a slot of a small fixed table (a handler,
// remove_temporary_files, can only look at fixed memory), in the platform's
// own characters; and a guard that removes the file however the write ends.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>

namespace veltrin {

template <class Char, std::size_t Length>
struct cleanup_slot {
    using char_type = Char;
    std::atomic<bool> claimed{false};  // taken by a thread
    std::atomic<bool> armed{false};    // path holds a name to remove
    Char path[Length] = {};
};

// Claims a slot for a temporary name; nullptr when the name does not fit or
// every slot is taken (the name is then only removed on the error paths).
template <class Char, std::size_t Length, std::size_t Count>
cleanup_slot<Char, Length>* remember_temporary(cleanup_slot<Char, Length> (&slots)[Count],
                                               const std::basic_string<Char>& path)
{
    if (path.size() >= Length) return nullptr;
    for (cleanup_slot<Char, Length>& slot : slots) {
        bool expected = false;
        if (!slot.claimed.compare_exchange_strong(expected, true)) continue;
        std::copy_n(path.c_str(), path.size() + 1, slot.path);
        slot.armed.store(true);
        return &slot;
    }
    return nullptr;
}

template <class Char, std::size_t Length>
void forget_temporary(cleanup_slot<Char, Length>* slot)
{
    if (slot == nullptr) return;
    slot->armed.store(false);
    slot->claimed.store(false);
}

// A result's stream that is closed, and its temporary name removed (by the
// platform's remove) and forgotten, however the write ends.
template <class Slot, auto remove>
struct pending_file {
    std::FILE* stream = nullptr;
    std::basic_string<typename Slot::char_type> temporary_name;
    Slot* slot = nullptr;
    ~pending_file()
    {
        if (stream != nullptr) std::fclose(stream);
        if (!temporary_name.empty()) remove(temporary_name.c_str());
        forget_temporary(slot);
    }
};

}  // namespace veltrin
