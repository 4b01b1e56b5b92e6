// HeapReAlloc keeps the items where the block can grow in place and moves them otherwise; the
// caller's pointers into the array are therefore good only until the next call.
#include "deploy/heap_array.h"

#include <windows.h>

bool MakeRoomForOneMore(void** items, size_t count, size_t* capacity, size_t itemSize,
                        size_t firstCapacity)
{
    size_t grown = *capacity == 0 ? firstCapacity : *capacity * 2;
    void* moved;

    if (count < *capacity)
        return true;
    moved = *items == NULL ? HeapAlloc(GetProcessHeap(), 0, grown * itemSize)
                           : HeapReAlloc(GetProcessHeap(), 0, *items, grown * itemSize);
    if (moved == NULL)
        return false;
    *items = moved;
    *capacity = grown;
    return true;
}
