#pragma once
// A PNG encoder for 8-bit RGB pictures: signature, IHDR, one IDAT holding
// the zlib stream of the rows (each with filter byte 1, "Sub"), IEND.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// rgb holds height rows of width pixels, three bytes (red, green, blue)
// each, the top row first. False with the reason.
bool EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgb,
               std::vector<uint8_t>& png, std::string& error);
