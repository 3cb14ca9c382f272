// A run of blocks read one after the other.
#pragma once

namespace tbx {

class TextPage;
class TextBlock;

class TextFlow {
public:
    // Starts a flow with its first block (box and free stretch copied from it).
    TextFlow(TextPage* page, TextBlock* first);
    // Appends a block; the box widens to hold it. The flow does not own blocks.
    void addBlock(TextBlock* blk);

    TextPage* page = nullptr;
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    double spanMin = 0, spanMax = 0;
    TextBlock* blocks = nullptr;
    TextBlock* lastBlock = nullptr;
    TextFlow* next = nullptr;
};

}  // namespace tbx
