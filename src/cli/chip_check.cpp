#include "cli/chip_check.h"

namespace ostrel::cli {

ChipFit checkChip(int kind, uint32_t id, int32_t chosenTypeIndex, uint32_t chosenId) {
    // Kinds 2 and 3 name the Type list positions 1 and 2, whose chips have no
    // ID; a chip that answered with an ID is of none of those types.
    switch (kind) {
        case 1:
            if (chosenTypeIndex == 1 || chosenTypeIndex == 2) return ChipFit::WrongType;
            if (chosenId != 0 && (id & 0xFFFFFF) != (chosenId & 0xFFFFFF)) return ChipFit::WrongId;
            return ChipFit::Fits;
        case 2:
        case 3:
            return chosenTypeIndex == kind - 1 ? ChipFit::Fits : ChipFit::WrongType;
        default:
            return ChipFit::NoChip;
    }
}

}  // namespace ostrel::cli
