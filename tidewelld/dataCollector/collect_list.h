// Both list downloads, one after the other.
#pragma once

// fw + 2 * pl, each 0 when its transfer completed.
int CollectVariousList(const char* firmListPath, const char* targetListPath);
