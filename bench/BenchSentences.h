// The English sentences the Apertium benchmarks share.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Ordinary, varied English sentences, built from a few parts so that the
// text is not one sentence repeated.
inline std::vector<std::string> Sentences(size_t count) {
  const char* subjects[] = {"The dog", "My neighbour", "The old teacher", "A small child", "The company",
                            "Our team", "The doctor", "This city", "The train", "Her brother", "The report"};
  const char* verbs[] = {"is", "was", "seems", "became", "remains"};
  const char* complements[] = {"very big", "quite happy today", "ready for the meeting", "in the garden",
                               "late again this morning", "important for everyone", "open on Sundays",
                               "close to the station", "difficult to understand", "better than last year",
                               "full of new ideas", "at home with the family", "cheaper than expected"};
  const char* tails[] = {"", " because it rained", " and we know it", " after the long winter",
                         " according to the news", " but nobody cares"};
  std::vector<std::string> out;
  size_t i = 0;
  while (out.size() < count) {
    std::string s = std::string(subjects[i % 11]) + " " + verbs[(i / 11) % 5] + " " + complements[(i / 3) % 13] +
                    tails[(i / 7) % 6] + ".";
    out.push_back(s);
    ++i;
  }
  return out;
}

}  // namespace bench
