#include "phone_book_names.h"

#include <random>
#include <stdexcept>

#include "platform/code_page.h"

namespace telvora::bench {

namespace {

const char* const kPersianGiven[] = {
    "محمد", "علی", "حسین", "رضا", "مهدی", "امیر", "حسن", "مصطفی", "جواد", "سعید",
    "مریم", "فاطمه", "زهرا", "سارا", "نرگس", "لیلا", "پریسا", "شیرین", "ژاله", "گلناز",
    "بهرام", "کوروش", "داریوش", "فرهاد", "پرویز", "چنگیز", "منیژه", "آزاده", "یاسمن", "نیلوفر",
    "اکبر", "اصغر", "مجید", "حمید", "وحید", "ناصر", "منصور", "بیژن", "سیاوش", "آرش",
    "مهسا", "مینا", "شهرزاد", "طاهره", "معصومه", "سمیه", "الهام", "کیانا", "هستی", "رویا"};
const char* const kPersianFamily[] = {
    "محمدی", "حسینی", "احمدی", "رضایی", "موسوی", "کریمی", "جعفری", "رحیمی", "هاشمی", "صادقی",
    "قاسمی", "نوری", "کاظمی", "ابراهیمی", "طاهری", "پورمحمد", "چراغی", "ژیان", "گودرزی", "فرهادی",
    "یزدانی", "شیرازی", "تهرانی", "اصفهانی", "کرمانی", "تبریزی", "مشهدی", "قزوینی", "رشتی", "همدانی",
    "بهرامی", "کیانی", "امینی", "سلطانی", "زمانی", "عباسی", "نجفی", "خسروی", "پاکزاد", "آقایی",
    "مرادی", "اکبری", "باقری", "فتحی", "عسگری", "میرزایی", "نظری", "وکیلی", "شریفی", "منصوری",
    "دهقان", "کشاورز", "صالحی", "اسدی", "جلالی", "ملکی", "رستمی", "افشار", "قربانی", "توکلی"};
const char* const kLatinGiven[] = {"John", "Mary", "Peter", "Anna", "David", "Sara", "Michael", "Laura",
                                   "Thomas", "Julia", "Robert", "Emma", "Daniel", "Sophie", "Paul", "Nina"};
const char* const kLatinFamily[] = {"Smith", "Miller", "Brown", "Jones", "Wilson", "Taylor", "Clark", "Walker",
                                    "Hall", "Young", "King", "Wright", "Green", "Baker", "Adams", "Nelson",
                                    "Hill", "Scott", "Moore", "Allen"};

template <std::size_t N>
std::vector<std::string> Encode(const char* const (&names)[N]) {
  std::vector<std::string> out;
  for (const char* name : names) {
    auto bytes = platform::Utf8ToCp1256(name);
    if (!bytes) throw std::logic_error(std::string("name not in code page 1256: ") + name);
    out.push_back(*bytes);
  }
  return out;
}

// A skewed pick: low indexes (the common names) come up far more often.
const std::string& Pick(const std::vector<std::string>& list, std::mt19937_64& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double u = unit(random);
  auto i = static_cast<std::size_t>(u * u * static_cast<double>(list.size()));
  return list[i < list.size() ? i : list.size() - 1];
}

}  // namespace

std::vector<std::string> MakePhoneBookNames(std::size_t count, std::size_t max_length, std::uint64_t seed) {
  const auto persian_given = Encode(kPersianGiven);
  const auto persian_family = Encode(kPersianFamily);
  const auto latin_given = Encode(kLatinGiven);
  const auto latin_family = Encode(kLatinFamily);
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> percent(0, 99);

  std::vector<std::string> names;
  names.reserve(count);
  while (names.size() < count) {
    std::string name;
    if (percent(random) < 75) {
      name = Pick(persian_given, random) + ' ' + Pick(persian_family, random);
      const int extra = percent(random);
      if (extra < 30) name += ' ' + Pick(persian_family, random);           // double family name
      else if (extra < 40) name = Pick(persian_given, random) + ' ' + name;  // two given names
    } else {
      name = Pick(latin_given, random) + ' ' + Pick(latin_family, random);
      if (percent(random) < 20) name += '-' + Pick(latin_family, random);
    }
    if (name.size() > max_length) name.resize(max_length);
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace telvora::bench
