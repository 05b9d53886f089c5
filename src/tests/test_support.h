#pragma once

#include <json/value.h>

namespace ozra::tests {

// A complete, valid configuration document with loopback addresses.
Json::Value ValidConfigDocument();

}  // namespace ozra::tests
