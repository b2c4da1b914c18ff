// The data-file reader and the data preparation on arbitrary bytes. The first
// byte chooses the kind of set (bit 0: Q-dependent coefficients, bit 1: a
// background column, bit 2: a negative sigma, that is an error column, bits
// 3-4: the number of basis functions less one) and the next two the fitted
// range; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/stop.h"
#include "fit/run.h"
#include "fuzz_support.h"
#include "model/corrections.h"
#include "model/datasets.h"
#include "model/transform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using yosta::fuzz::finite;
  using yosta::fuzz::require;
  if (size < 3) return 0;
  // Every input is read into a run as a fresh program has it: what an earlier
  // input left (a refused one part read) must not pass for this one's values.
  static const std::unique_ptr<const yosta::Run> fresh = yosta::make_run();
  static const std::unique_ptr<yosta::Run> run = yosta::make_run();
  *run = *fresh;
  static const std::string path = yosta::fuzz::scratch_folder() + "/set1.dat";
  const std::uint8_t flags = data[0];
  yosta::fuzz::write_whole_file(path, data + 3, size - 3);

  yosta::RunParameters& p = run->params;
  p.nbasis = 1 + ((flags >> 3) & 3);
  p.density = 0.05f;
  p.nsets = 1;
  p.qdep_coefficients = (flags & 1) != 0;
  p.nsets_fixed = p.qdep_coefficients ? 0 : 1;
  p.nsets_qdep = p.qdep_coefficients ? 1 : 0;
  yosta::DataSetSettings& s = p.sets[0];
  s.qdep = p.qdep_coefficients;
  s.data_file = path;
  s.q_first = 1 + data[1] % 8;
  s.q_last = s.q_first + data[2];
  s.sigma = (flags & 4) != 0 ? -0.02f : 0.02f;
  s.background_column = (flags & 2) != 0;
  s.rezero = (flags & 32) != 0;
  s.linear_correction = (flags & 64) != 0;
  s.renormalise = (flags & 128) != 0;
  for (int b = 0; b < p.nbasis; ++b) s.coefficients[static_cast<std::size_t>(b)] = 0.5f;

  yosta::Model& m = run->model;
  try {
    yosta::read_data_sets(p, m);
    const yosta::DataSet& set = m.sets[1];
    for (int k = 1; k <= m.q.nq; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      require(finite(m.q.Q[uk]) && finite(set.F[uk]) && finite(set.err[uk]) && finite(set.background[uk]),
              "data point");
      for (int b = 1; b <= p.nbasis; ++b) require(finite(set.coef[static_cast<std::size_t>(b)][uk]), "coefficient");
    }
    yosta::check_q_grid(m);
    yosta::prepare_data(p, m);
  } catch (const yosta::Stop&) {
  }
  return 0;
}
