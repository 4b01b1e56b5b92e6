// Arrays that grow on the process heap as items are added: the copy batch's staged copies and the
// product record's entries. The capacity doubles, so adding n items moves O(n) bytes in all.
#pragma once

#include <stddef.h>

// Makes room for one more item after count in *items (capacity items of itemSize bytes, NULL
// when none were ever made), starting at firstCapacity. False where the heap refuses: *items and
// *capacity are then as they were.
bool MakeRoomForOneMore(void** items, size_t count, size_t* capacity, size_t itemSize,
                        size_t firstCapacity);
