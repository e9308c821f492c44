#include "messages/process_state.h"

bool WideMode = true;
bool FilesChanged = false;
char16_t DropletCaption[kCaptionCapacity] = {};
