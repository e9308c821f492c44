#include "messages/process_state.h"

bool WideMode = true;
bool FilesChanged = false;
bool FoldersWalked = false;
RequestStage HostStage = RequestStage::kConnecting;
char16_t DropletCaption[kCaptionCapacity] = {};
