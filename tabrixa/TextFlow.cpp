#include "tabrixa/TextFlow.h"

#include <algorithm>

#include "tabrixa/TextBlock.h"

namespace tbx {

TextFlow::TextFlow(TextPage* p, TextBlock* first)
    : page(p), xMin(first->xMin), xMax(first->xMax), yMin(first->yMin), yMax(first->yMax),
      spanMin(first->spanMin), spanMax(first->spanMax), blocks(first), lastBlock(first) {
    first->next = nullptr;
}

void TextFlow::addBlock(TextBlock* blk) {
    blk->next = nullptr;
    if (lastBlock)
        lastBlock->next = blk;
    else
        blocks = blk;
    lastBlock = blk;
    xMin = std::min(xMin, blk->xMin);
    xMax = std::max(xMax, blk->xMax);
    yMin = std::min(yMin, blk->yMin);
    yMax = std::max(yMax, blk->yMax);
}

}  // namespace tbx
