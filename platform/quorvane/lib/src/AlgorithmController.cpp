#include <Quorvane/Lib/AlgorithmController.h>

namespace Quorvane {

AlgorithmController::AlgorithmController(Algorithm* algorithm) : m_algorithm(algorithm) {}

AlgorithmController::~AlgorithmController() = default;

void AlgorithmController::init() {}

}  // namespace Quorvane
