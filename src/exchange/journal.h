#pragma once
// The task journal (I_ORDER_TASKS) and the exchange protocol (ZV$PROT). Each operation runs on a
// transaction of its own on ExchangeDatabase and commits before it returns, so the rows are
// visible at once and survive any later failure of the caller. Nothing is caught here.
#include <cstdint>
#include <string>

namespace qdz::exchange {

std::int64_t TaskCreate(const std::string& taskType, const std::string& sendData, std::int32_t status);
void TaskStart(std::int64_t taskId);
void TaskFinish(std::int32_t endFlag, const std::string& endText, std::int64_t taskId);

std::int64_t ProtocolStart(const std::string& method, const std::string& path,
                           const std::string& sendData, std::int64_t taskId);
void ProtocolFinish(std::int32_t endFlag, const std::string& endText, std::int64_t protocolId);

}  // namespace qdz::exchange
