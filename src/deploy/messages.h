// Texts that more than one component step writes into its message buffer: the same situation
// reads the same in every line of the report.
#pragma once

extern const char kAbortedMessage[];
extern const char kMediaIncompleteMessage[];
// Formatted with the CopyResult as %d and the path at which the copy stopped as %s.
extern const char kCopyErrorFormat[];
