// The library's record lists: singly linked through each record's `next`,
// kept in the order the records were added.
#pragma once

namespace kx {

template <typename Record>
void appendToList(Record*& head, Record* record)
{
    record->next = nullptr;
    Record** link = &head;
    while (*link)
        link = &(*link)->next;
    *link = record;
}

// A record that is not in the list is left alone.
template <typename Record>
void unlinkFromList(Record*& head, Record* record)
{
    for (Record** link = &head; *link; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            record->next = nullptr;
            return;
        }
    }
}

}  // namespace kx
