#include "model/FailedItem.hpp"

#include "model/Origins.hpp"

std::optional<std::string> FailedItem::orvoURL() const {
    return Origins::current().songURL(id);
}
