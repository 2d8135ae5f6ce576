#pragma once
// The errors the library raises itself, with their exact texts.

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::liberr {

// Single-value queries that did not find exactly one row.
inline constexpr int32_t kRowCount = 40090;
inline constexpr std::string_view kValueNoRows = "Запрос значения не возвратил ни одной записи.";
inline std::string ValueManyRows(int64_t count) {
  return "Запрос значения возвратил несколько записей (" + std::to_string(count) + ").";
}
inline constexpr std::string_view kNoRows = "Запрос не возвратил ни одной записи.";

// The delivery-number counter could not be advanced (automation base + 513).
inline constexpr int32_t kDeliveryCounter = -2147221504 + 513;
inline constexpr std::string_view kDeliveryCounterText =
    "Не удалось выполнить обновление счетчика номеров файлов.";

// Blob compression types other than 0 (stored) and 1 (zlib).
inline constexpr int32_t kBlobCompression = 1001;
inline constexpr std::string_view kUnknownCompressionText = "Unknown copmression type.";
inline std::string UnknownStoredCompression(int64_t type) {
  return "Unknown copmpression type in database blob (" + std::to_string(type) + ").";
}

}  // namespace qv::liberr
