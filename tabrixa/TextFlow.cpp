#include "tabrixa/TextFlow.h"

#include "tabrixa/TextBlock.h"
#include "tabrixa/TextHelpers.h"

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
    growBox(*this, *blk);
}

}  // namespace tbx
