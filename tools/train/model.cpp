#include "model.h"

#include <algorithm>
#include <cmath>
#include <random>

DenseLayout::DenseLayout(const ModelShape& s) {
  b1 = 0;
  w2 = b1 + s.l1;
  b2 = w2 + size_t(s.l2) * 2 * s.l1;
  w3 = b2 + s.l2;
  b3 = w3 + size_t(s.l3) * s.l2;
  w4 = b3 + s.l3;
  b4 = w4 + s.l3;
  size = b4 + 1;
}

Model::Model(const ModelShape& s) : shape(s), w1(size_t(s.inputs) * s.l1), dense(DenseLayout(s).size), layout(s) {}

void Model::initialise(uint64_t seed) {
  std::mt19937_64 rng(seed);
  // An accumulator sums about thirty rows plus their virtual rows: keep its
  // spread near 1 so that most first-layer units start in the linear range.
  // Piece and castling rows start random; the rows of one king square and
  // the offset rows start at zero and learn what the king's place adds.
  std::normal_distribution<float> first(0.0f, 0.15f);
  for (size_t i = 0; i < w1.size(); ++i) {
    const size_t row = i / shape.l1;
    w1[i] = row < size_t(CASTLE_KING_ROW) || row >= size_t(OFFSET_ROW_BASE) ? 0.0f : first(rng);
  }
  std::fill(dense.begin(), dense.end(), 0.0f);
  for (int i = 0; i < shape.l1; ++i) dense[layout.b1 + i] = 0.5f;
  // Hidden weights start around the image's smallest steps so that rounding
  // keeps most of them.
  std::normal_distribution<float> hidden2(0.0f, 0.12f);
  for (size_t i = layout.w2; i < layout.b2; ++i) dense[i] = hidden2(rng);
  std::normal_distribution<float> hidden3(0.0f, 0.3f);
  for (size_t i = layout.w3; i < layout.b3; ++i) dense[i] = hidden3(rng);
  std::normal_distribution<float> output(0.0f, 8.0f);
  for (size_t i = layout.w4; i < layout.b4; ++i) dense[i] = output(rng);
  for (int i = 0; i < shape.l2; ++i) dense[layout.b2 + i] = 1.0f;
  for (int i = 0; i < shape.l3; ++i) dense[layout.b3 + i] = 1.0f;
}

int Model::wakeIdleLanes(uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<float> first(0.0f, 0.15f);
  const size_t rows = w1.size() / shape.l1;
  int woken = 0;
  for (int lane = 0; lane < shape.l1; ++lane) {
    bool idle = dense[layout.b1 + lane] <= 0.0f;
    for (size_t r = 0; r < rows && idle; ++r) idle = w1[r * shape.l1 + lane] == 0.0f;
    if (!idle) continue;
    ++woken;
    dense[layout.b1 + lane] = 0.5f;
    for (int r = PIECE_ROW_BASE; r < PIECE_ROW_BASE + PIECE_ROWS && r < shape.inputs; ++r)
      w1[size_t(r) * shape.l1 + lane] = first(rng);
  }
  return woken;
}

float quantiseHidden(float w) { return std::clamp(std::nearbyint(w * 8.0f), -128.0f, 127.0f) / 8.0f; }
float quantiseOutput(float w) { return std::clamp(std::nearbyint(w * 4.0f), -128.0f, 127.0f) / 4.0f; }

void ForwardWeights::prepare(const Model& m, bool quantised) {
  const DenseLayout& L = m.layout;
  w2.assign(m.dense.begin() + L.w2, m.dense.begin() + L.b2);
  w3.assign(m.dense.begin() + L.w3, m.dense.begin() + L.b3);
  w4.assign(m.dense.begin() + L.w4, m.dense.begin() + L.b4);
  this->quantised = quantised;
  if (!quantised) return;
  for (float& w : w2) w = quantiseHidden(w);
  for (float& w : w3) w = quantiseHidden(w);
  for (float& w : w4) w = quantiseOutput(w);
}

Activations::Activations(const ModelShape& s)
    : acc(2 * s.l1), z2(s.l2), z3(s.l3), h1(2 * s.l1), h2(s.l2), h3(s.l3), out(0) {}

Gradients::Gradients(const Model& m)
    : w1(m.w1.size(), 0.0f), dense(m.dense.size(), 0.0f), touchedFlag(m.shape.inputs, 0) {}

namespace {

inline float clampActivation(float x) { return std::min(std::max(x, 0.0f), ACTIVATION_MAX); }
inline bool passes(float x) { return x > 0.0f && x < ACTIVATION_MAX; }
// The engine's activations are integers in eighths, rounded to nearest (the
// exported biases turn its truncating shifts into rounding).
inline float roundActivation(float x) { return std::floor(x * 8.0f + 0.5f) * 0.125f; }
// Dot product in sixteen independent lanes, so that the compiler can keep
// them in one vector register without reordering a single running sum.
inline float dot(const float* __restrict w, const float* __restrict h, int n) {
  constexpr int LANES = 16;
  float lanes[LANES] = {};
  int i = 0;
  for (; i + LANES <= n; i += LANES)
    for (int l = 0; l < LANES; ++l) lanes[l] += w[i + l] * h[i + l];
  float sum = 0.0f;
  for (; i < n; ++i) sum += w[i] * h[i];
  for (int l = 0; l < LANES; ++l) sum += lanes[l];
  return sum;
}

inline float roundFirstLayer(float x) { return std::nearbyint(x * 16.0f) * 0.0625f; }
inline float activation(float x, bool quantised) {
  return clampActivation(quantised ? roundActivation(x) : x);
}

}  // namespace

float forward(const Model& m, const ForwardWeights& fw, const Sample& s, Activations& a) {
  const int n1 = m.shape.l1, n2 = m.shape.l2, n3 = m.shape.l3;
  const float* __restrict b1 = m.dense.data() + m.layout.b1;
  for (int p = 0; p < 2; ++p) {
    float* __restrict acc = a.acc.data() + p * n1;
    for (int k = 0; k < s.count[p]; ++k) {
      const int r = s.rows[p][k];
      int32_t virt[MAX_VIRTUAL_ROWS];
      const int count = virtualRows(r, virt);
      const float* __restrict w = m.row(r);
      // Rows a small test model leaves out count as zero.
      const float* __restrict v0 = count > 0 && virt[0] < m.shape.inputs ? m.row(virt[0]) : nullptr;
      const float* __restrict v1 = count > 1 && virt[1] < m.shape.inputs ? m.row(virt[1]) : nullptr;
      if (fw.quantised) {
        // The image holds each real row with its virtual rows folded in,
        // rounded to sixteenths: sum exactly those values.
        for (int i = 0; i < n1; ++i) {
          const float sum = w[i] + (v0 ? v0[i] : 0.0f) + (v1 ? v1[i] : 0.0f);
          acc[i] = (k ? acc[i] : roundFirstLayer(b1[i])) + roundFirstLayer(sum);
        }
      } else {
        for (int i = 0; i < n1; ++i)
          acc[i] = (k ? acc[i] : b1[i]) + w[i] + (v0 ? v0[i] : 0.0f) + (v1 ? v1[i] : 0.0f);
      }
    }
    if (s.count[p] == 0)
      for (int i = 0; i < n1; ++i) acc[i] = fw.quantised ? roundFirstLayer(b1[i]) : b1[i];
  }
  for (int i = 0; i < 2 * n1; ++i) a.h1[i] = activation(a.acc[i], fw.quantised);

  const float* b2 = m.dense.data() + m.layout.b2;
  for (int j = 0; j < n2; ++j) {
    a.z2[j] = dot(fw.w2.data() + size_t(j) * 2 * n1, a.h1.data(), 2 * n1) + b2[j];
    a.h2[j] = activation(a.z2[j], fw.quantised);
  }
  const float* b3 = m.dense.data() + m.layout.b3;
  for (int j = 0; j < n3; ++j) {
    a.z3[j] = dot(fw.w3.data() + size_t(j) * n2, a.h2.data(), n2) + b3[j];
    a.h3[j] = activation(a.z3[j], fw.quantised);
  }
  float out = m.dense[m.layout.b4];
  for (int i = 0; i < n3; ++i) out += fw.w4[i] * a.h3[i];
  a.out = out;
  return out;
}

void backward(const Model& m, const ForwardWeights& fw, const Sample& s, const Activations& a, float gOut,
              Gradients& g) {
  const int n1 = m.shape.l1, n2 = m.shape.l2, n3 = m.shape.l3;
  const DenseLayout& L = m.layout;
  float* gd = g.dense.data();

  // Output layer.
  float gz3[64], gz2[64];
  gd[L.b4] += gOut;
  for (int i = 0; i < n3; ++i) {
    gd[L.w4 + i] += gOut * a.h3[i];
    gz3[i] = passes(a.z3[i]) ? gOut * fw.w4[i] : 0.0f;
  }
  // Third layer.
  for (int i = 0; i < n2; ++i) gz2[i] = 0.0f;
  for (int j = 0; j < n3; ++j) {
    if (gz3[j] == 0.0f) continue;
    gd[L.b3 + j] += gz3[j];
    const float* w = fw.w3.data() + size_t(j) * n2;
    float* gw = gd + L.w3 + size_t(j) * n2;
    for (int i = 0; i < n2; ++i) {
      gw[i] += gz3[j] * a.h2[i];
      gz2[i] += gz3[j] * w[i];
    }
  }
  for (int i = 0; i < n2; ++i)
    if (!passes(a.z2[i])) gz2[i] = 0.0f;
  // Second layer, and the gradient reaching the accumulators.
  float gh1[1024];
  for (int i = 0; i < 2 * n1; ++i) gh1[i] = 0.0f;
  for (int j = 0; j < n2; ++j) {
    const float gj = gz2[j];
    if (gj == 0.0f) continue;
    gd[L.b2 + j] += gj;
    const float* __restrict w = fw.w2.data() + size_t(j) * 2 * n1;
    float* __restrict gw = gd + L.w2 + size_t(j) * 2 * n1;
    const float* __restrict h = a.h1.data();
    for (int i = 0; i < 2 * n1; ++i) {
      gw[i] += gj * h[i];
      gh1[i] += gj * w[i];
    }
  }
  for (int i = 0; i < 2 * n1; ++i)
    if (!passes(a.acc[i])) gh1[i] = 0.0f;

  // First layer: shared weights, so both perspectives add into the same rows.
  float* __restrict gb1 = gd + L.b1;
  for (int p = 0; p < 2; ++p) {
    const float* __restrict gacc = gh1 + p * n1;
    for (int i = 0; i < n1; ++i) gb1[i] += gacc[i];
    for (int k = 0; k < s.count[p]; ++k) {
      int32_t targets[1 + MAX_VIRTUAL_ROWS];
      targets[0] = s.rows[p][k];
      const int count = 1 + virtualRows(targets[0], targets + 1);
      for (int t = 0; t < count; ++t) {
        const int target = targets[t];
        if (target >= m.shape.inputs) continue;
        g.touch(target);
        float* __restrict gw = g.w1.data() + size_t(target) * n1;
        for (int i = 0; i < n1; ++i) gw[i] += gacc[i];
      }
    }
  }
}
