#include "adam.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

// Ranges the image's integers can hold, in model units.
constexpr float W1_LIMIT = 2000.0f;  // i16 at 16 per unit, with room for the sums
constexpr float HIDDEN_MIN = -16.0f, HIDDEN_MAX = 127.0f / 8.0f;
constexpr float OUTPUT_MIN = -32.0f, OUTPUT_MAX = 127.0f / 4.0f;

struct StepScale {
  float lr, beta1, beta2, epsilon, correction1, correction2;
};

inline float adamUpdate(float& w, float g, float& m, float& v, const StepScale& s, float lr) {
  m = s.beta1 * m + (1.0f - s.beta1) * g;
  v = s.beta2 * v + (1.0f - s.beta2) * g * g;
  w -= lr * (m / s.correction1) / (std::sqrt(v / s.correction2) + s.epsilon);
  return w;
}

}  // namespace

void adamStep(Model& model, AdamState& state, const AdamSettings& settings, std::vector<Gradients>& grads,
              int threads) {
  ++state.step;
  const StepScale s{settings.lr,
                    settings.beta1,
                    settings.beta2,
                    settings.epsilon,
                    1.0f - std::pow(settings.beta1, float(state.step)),
                    1.0f - std::pow(settings.beta2, float(state.step))};
  const int n1 = model.shape.l1;

  // The rows any worker touched, each once.
  std::vector<int32_t> rows;
  for (Gradients& g : grads)
    for (int32_t r : g.touched)
      if (g.touchedFlag[r] == 1) {
        rows.push_back(r);
        for (Gradients& other : grads)
          if (other.touchedFlag[r]) other.touchedFlag[r] = 2;
      }

  auto work = [&](size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      const size_t base = size_t(rows[k]) * n1;
      const float lr = rows[k] < CASTLE_KING_ROW ? s.lr * settings.kingRowLrScale : s.lr;
      for (int i = 0; i < n1; ++i) {
        float g = 0.0f;
        for (Gradients& worker : grads) {
          g += worker.w1[base + i];
          worker.w1[base + i] = 0.0f;
        }
        float& w = model.w1[base + i];
        adamUpdate(w, g, state.m1[base + i], state.v1[base + i], s, lr);
        w = std::clamp(w, -W1_LIMIT, W1_LIMIT);
      }
    }
  };
  std::vector<std::thread> pool;
  const size_t share = (rows.size() + threads - 1) / std::max(threads, 1);
  for (int t = 1; t < threads; ++t)
    pool.emplace_back(work, std::min(rows.size(), t * share), std::min(rows.size(), (t + 1) * share));
  work(0, std::min(rows.size(), share));
  for (std::thread& t : pool) t.join();
  for (Gradients& g : grads) {
    for (int32_t r : g.touched) g.touchedFlag[r] = 0;
    g.touched.clear();
  }

  const DenseLayout& L = model.layout;
  for (size_t i = 0; i < model.dense.size(); ++i) {
    float g = 0.0f;
    for (Gradients& worker : grads) {
      g += worker.dense[i];
      worker.dense[i] = 0.0f;
    }
    const bool output = i >= L.w4;
    float& w = model.dense[i];
    const bool isWeight = (i >= L.w2 && i < L.b2) || (i >= L.w3 && i < L.b3) || (i >= L.w4 && i < L.b4);
    if (isWeight && settings.weightDecay > 0) w -= s.lr * settings.weightDecay * w;
    adamUpdate(w, g, state.md[i], state.vd[i], s, output ? s.lr * settings.outputLrScale : s.lr);
    if (i >= L.w2 && i < L.b2) w = std::clamp(w, HIDDEN_MIN, HIDDEN_MAX);
    if (i >= L.w3 && i < L.b3) w = std::clamp(w, HIDDEN_MIN, HIDDEN_MAX);
    if (i >= L.w4 && i < L.b4) w = std::clamp(w, OUTPUT_MIN, OUTPUT_MAX);
  }
}
