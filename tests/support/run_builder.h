// Runs built by hand for the unit tests: the sizes, grids and switches a test
// needs, set in one chain, with everything else as a fresh run has it.
//
//   auto run = RunBuilder().basis(2).sets(1).q_grid(40, 0.25f, 0.25f).r_grid(30, 0.1f).build();
#pragma once

#include <cstdint>
#include <memory>

#include "fit/run.h"

namespace yosta::testing {

class RunBuilder {
 public:
  RunBuilder() : run_(make_run()) {
    run_->params.nbasis = 1;
    run_->params.density = 0.05f;
    run_->params.Mr = 2;
    run_->model.Z = -1.0f;
  }
  RunBuilder& basis(int nbasis) {
    run_->params.nbasis = nbasis;
    return *this;
  }
  // nsets fixed-coefficient data sets, each fitted over the whole Q grid.
  RunBuilder& sets(int nsets) {
    run_->params.nsets = nsets;
    run_->params.nsets_fixed = nsets;
    nsets_ = nsets;
    return *this;
  }
  // nq points Q_k = q1 + (k - 1) dq.
  RunBuilder& q_grid(int nq, float q1, float dq) {
    run_->model.q.nq = nq;
    for (int k = 1; k <= nq; ++k) run_->model.q.Q[index(k)] = q1 + static_cast<float>(k - 1) * dq;
    return *this;
  }
  // nr points r_j = j dr.
  RunBuilder& r_grid(int nr, float dr) {
    run_->model.r.nr = nr;
    run_->model.r.dr = dr;
    return *this;
  }
  RunBuilder& floor(float Z) {
    run_->model.Z = Z;
    return *this;
  }
  RunBuilder& density(float rho) {
    run_->params.density = rho;
    return *this;
  }
  std::unique_ptr<Run> build() {
    for (int s = 1; s <= nsets_; ++s) {
      DataSetSettings& st = run_->model.sets[index(s)].settings;
      st.q_first = 1;
      st.q_last = run_->model.q.nq;
      run_->params.sets[index(s - 1)] = st;
    }
    return std::move(run_);
  }

 private:
  static std::size_t index(int i) { return static_cast<std::size_t>(i); }
  std::unique_ptr<Run> run_;
  int nsets_ = 0;
};

}  // namespace yosta::testing
