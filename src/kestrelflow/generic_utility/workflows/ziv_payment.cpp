// ZIV payment: log in to the payment application, open the cashier screen,
// search the application's fees and pay each open fee in cash through the
// payment dialog, going back to the fee list after each one.
//
// The host, account and password are deployment values read from the
// environment at every call (KESTRELFLOW_ZIV_HOST, KESTRELFLOW_ZIV_USER,
// KESTRELFLOW_ZIV_PASSWORD); nothing secret is compiled in.
#include "frame/browser.h"
#include "frame/calls.h"
#include "frame/routines.h"

#include <string>

namespace kf {
namespace {

constexpr const char* kDefaultHost = "ziv.internal";
constexpr const char* kPaymentLinkBefore =
    "/html/body/form/div[1]/div/div[2]/main/div[2]/div/div/div/div[3]/div[2]/div[2]/div/div/div/div[1]/table/tbody/tr[";
constexpr const char* kPaymentLinkAfter = "]/td[1]/h3/a";

// os.environ.get(name), or None when unset or empty.
py::object setting(const char* name) {
  py::object value = g("os").attr("environ").attr("get")(name);
  if (!truthy(value)) return py::none();
  return value;
}

void click_back(Arg driver) {
  by_name::click(driver,
                strings({"//*[@id=\"B173701938953932846\"]",
                         "/html/body/form/div/div[2]/div/div/div/div[2]/div/div/div[2]/div[3]/div[1]/button/span"}),
                strings({"رجوع"}), 4, true, int_of(2));
}

void log_in_and_search(Arg driver, Arg application_number, const py::object& host,
                       const py::object& user, const py::object& password) {
  driver.attr("get")(concat({"http://", host, ":7001/ords/f?p=100"}));
  by_name::type_with_test_date(driver, strings({"//*[@id=\"P101_USERNAME\"]"}), one_item_list(user));
  by_name::type_with_test_date(driver, strings({"//*[@id=\"P101_PASSWORD\"]"}),
                              one_item_list(password));
  by_name::click(driver,
                strings({"/html/body/form/div[2]/main/div/div/div/div/div[3]/button/span",
                         "/html/body/form/div[2]/main/div/div/div/div/div[3]",
                         "//*[@id=\"B106346667283935699\"]", ""}),
                strings({"Login", "login", "LOGIN"}), 4, true, int_of(5));
  by_name::click(driver, py::list(), strings({"التحصيل العام ZIV"}), 4, true, int_of(5));
  sleep(3);
  by_name::click(driver, py::list(), strings({"الصندوق (دفع المعاملات)"}), 4, true, int_of(5));
  by_name::type_with_test_date(
      driver,
      strings({"//*[@id=\"P18_APLC_NO\"]",
               "/html/body/form/div[1]/div/div[2]/main/div[2]/div/div/div/div[2]/div/div[2]/div[2]/div/div/div[1]/div/div[2]/div"}),
      application_number);
  by_name::click(driver,
                strings({"//*[@id=\"B121349173117055956\"]",
                         "/html/body/form/div[1]/div/div[2]/main/div[2]/div/div/div/div[2]/div/div[3]/button[1]/span",
                         ""}),
                strings({"بحث "}), 4, true, int_of(5));
}

// The payment links of the result table, row 1 on, up to the first gap.
py::list payment_links(Arg driver) {
  py::list links;
  for (long long n = 1;; ++n) {
    check_signals();
    py::str xpath = concat({kPaymentLinkBefore, n, kPaymentLinkAfter});
    try {
      find_element(driver, "XPATH", xpath);
    } catch (...) {
      py::error_already_set e = caught();
      say({"No element found at index ", n, ". Ending loop."});
      break;
    }
    links.append(xpath);
    say({"Found element at XPath: ", xpath});
  }
  return links;
}

// Switches into the dialog's iframe that holds the payment-method control
// and clicks it; stays in the main document when none does.
void open_payment_method(Arg driver) {
  py::object iframes = find_elements(driver, "TAG_NAME", str_of("iframe"));
  say({"Found ", py::len(iframes), " iframe(s) after popup opened."});
  long long i = 0;
  for (py::handle iframe : iframes) {
    ++i;
    driver.attr("switch_to").attr("frame")(iframe);
    say({"Switched to iframe ", i, "."});
    try {
      py::object control = find_element(driver, "ID", str_of("P40008_PAYMENT_METHOD"));
      say({"Target element found in iframe!"});
      control.attr("click")();
      return;
    } catch (...) {
      py::error_already_set e = caught();
      say({"Target element not found in iframe ", i, ":"});
      driver.attr("switch_to").attr("default_content")();
    }
  }
  say({"Target element not found in any iframe."});
}

void pay(Arg driver, py::handle link) {
  say({"---------------------------------------------------------------------------------------"});
  say_values({str_of("Clicking payment button at XPath:"), link});
  by_name::click(driver, one_item_list(link), strings({""}), 4, true, int_of(5));
  sleep(2);

  py::object get_all_xpaths = g("get_all_xpaths");
  py::object before = get_all_xpaths(driver);
  py::object after = get_all_xpaths(driver);
  // set(after) - set(before): a new set, in the order the subtraction builds it.
  py::object added = sub(py::set(after), py::set(before));
  say_values({str_of("New XPaths after popup:"), added});

  open_payment_method(driver);

  by_name::click(driver, py::list(), strings({"نقدي"}), 4, false, int_of(5));
  sleep(0.4);
  by_name::click(driver, py::list(), strings({"دفع"}), 4, false, int_of(5));
  sleep(0.4);

  py::object already_paid = g("extract_text")(
      driver, strings({"/html/body/form/div/div[2]/div/div/span[2]/div/div/div/div[2]/div"}),
      py::arg("max_retries") = 2, py::arg("retry_delay") = 0.5);
  py::object paid = g("extract_text")(
      driver,
      strings({"/html/body/form/div/div[2]/div/div/span[1]/div/div/div/div[2]/div/h2",
               "/html/body/form/div/div[2]/div/div/span[1]/div/div/div/div[2]/div"}),
      py::arg("max_retries") = 2, py::arg("retry_delay") = 0.5);
  sleep(3);

  if (truthy(already_paid)) {
    say({"Already paid, clicking on back..."});
    click_back(driver);
    sleep(1);
    driver.attr("switch_to").attr("default_content")();
    sleep(1);
  } else if (truthy(paid)) {
    say({"Payment Successful, clicking on back..."});
    sleep(3);
    click_back(driver);
    driver.attr("switch_to").attr("default_content")();
  } else {
    sleep(3);
    click_back(driver);
    driver.attr("switch_to").attr("default_content")();
  }
}

}  // namespace

py::object ZIV_payment(Arg driver, Arg application_number) {
  py::object host = setting("KESTRELFLOW_ZIV_HOST");
  if (host.is_none()) host = str_of(kDefaultHost);
  py::object user = setting("KESTRELFLOW_ZIV_USER");
  py::object password = setting("KESTRELFLOW_ZIV_PASSWORD");
  if (user.is_none() || password.is_none()) {
    std::string missing;
    if (user.is_none()) missing = "KESTRELFLOW_ZIV_USER";
    if (password.is_none()) missing += missing.empty() ? "KESTRELFLOW_ZIV_PASSWORD" : ", KESTRELFLOW_ZIV_PASSWORD";
    say({"❌ ZIV payment not started: set the environment variable(s) ", missing, "."});
    return py::none();
  }

  log_in_and_search(driver, application_number, host, user, password);
  py::list links = payment_links(driver);
  for (py::handle link : links) {
    check_signals();
    pay(driver, link);
  }
  say({"Finished processing all payment buttons."});
  return py::none();
}

}  // namespace kf
