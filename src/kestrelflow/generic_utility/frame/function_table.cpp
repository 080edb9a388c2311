// The module's public functions in binding order, with their parameters and
// defaults, and the module-level data bound between them.
#include "frame/function_type.h"
#include "frame/module_body.h"
#include "frame/routines.h"

namespace kf {
namespace {

py::object zero() { return int_of(0); }

// The Gmail read-only OAuth scope.
py::object gmail_scopes() {
  py::list scopes;
  scopes.append(str_of("https://www.googleapis.com/auth/gmail.readonly"));
  return std::move(scopes);
}

// The binding order: KF_ROUTINE for a public function, KF_DATA for the
// module-level data bound between them.
constexpr Row kRows[] = {
    /*  1 */ KF_ROUTINE(Generate_File_name, R"(Service_name, trial, directory="performance_logs_")",
               "Build a dated CSV file name for a service and trial, and print it.\n"
               "\n"
               "Parameters: Service_name: the service; trial: the trial number; directory: the "
               "name's prefix.\n"
               "Returns: the file name (str).\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /*  2 */ KF_ROUTINE(Chrome_Driver_info, "maximize=False, headless=False",
               "Open a Chrome session with the fixed switches and return its WebDriver.\n"
               "\n"
               "Parameters: maximize: maximise the window; headless: run without a window. The "
               "driver comes from the module's ChromeDriverManager (rebind it for an offline "
               "machine, see kestrelflow.local_browser).\n"
               "Returns: the Chrome WebDriver; start-up errors propagate.\n"
               "Worst-case wait with the defaults: the browser start-up, plus the driver manager's "
               "download when it fetches a driver."),
    /*  3 */ KF_ROUTINE(FireFox_Driver_info, R"(maximize=False, headless=False, eager=True, mode="auto", firefox_path="C:\Users\automation\AppData\Local\Mozilla Firefox\firefox.exe", driver_path="C:\Users\automation\AppData\Local\GeckoDriver\geckodriver.exe")",
               "Open a Firefox session with the fixed preferences and return its WebDriver.\n"
               "\n"
               "Parameters: maximize, headless: window options; eager: eager page-load strategy; "
               "mode: \"auto\" (driver manager) or \"manual\" (firefox_path and driver_path are used).\n"
               "Returns: the Firefox WebDriver; start-up errors propagate.\n"
               "Worst-case wait with the defaults: the browser start-up, plus the driver manager's "
               "download in \"auto\" mode."),
    /*  4 */ KF_ROUTINE(Edge_Driver_info, "maximize=False, headless=False",
               "Open an Edge session with the fixed switches.\n"
               "\n"
               "Parameters: maximize: maximise the window; headless: run without a window.\n"
               "Returns: the Edge WebDriver, or None when it cannot start (\"[Edge Driver Error] \" is"
               " printed).\n"
               "Worst-case wait with the defaults: the browser start-up."),
    /*  5 */ KF_ROUTINE(Navigating_into_service_name_SH, "driver, Service_name, loading_xpath",
               "Open a service from the portal's Services tab: the tab, the search box, the service "
               "card.\n"
               "\n"
               "Parameters: driver; Service_name: the service's visible name; loading_xpath: the "
               "page's loading indicator.\n"
               "Returns: None; errors of the page-load wait propagate.\n"
               "Worst-case wait with the defaults: 8 s of fixed pauses, plus two clicks (4 passes, 4"
               " s per wait), one input (3 passes, 10 s per wait) and a 20 s page-load wait."),
    /*  6 */ KF_ROUTINE(capture_screenshot, R"(base_path="Screenshots", screen_number=0, service_name="default_service", step_name="default_step", use_webdriver=False, driver=None)",
               "Save a PNG of the browser viewport or of a screen under base_path/service_name.\n"
               "\n"
               "Parameters: base_path: the screenshot folder; screen_number: 0 for all screens, 1.. "
               "for one; service_name: the sub-folder; step_name: the file name's start; "
               "use_webdriver: take the viewport through driver.\n"
               "Returns: None (the saved path is printed); errors propagate.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /*  7 */ KF_ROUTINE(clicking_on_element_by_all_option, "driver, x_paths_input, text_input_list, max_retries=4, scroll=False, timeout=20",
               "Click the first element reachable by the XPaths, then by the exact texts, in passes.\n"
               "\n"
               "Parameters: driver; x_paths_input: XPaths, tried first; text_input_list: visible "
               "texts, tried second; max_retries: passes over each list; scroll: scroll the texts "
               "into view first; timeout: seconds per clickable wait.\n"
               "Returns: True once an element was clicked, else False.\n"
               "Worst-case wait with the defaults: 5 s for overlays + 4 passes x 20 s for every "
               "XPath and every text + 1+2+3+4 = 10 s of pauses (a missing label costs 80 s)."),
    /*  8 */ KF_ROUTINE(hovering_by_xpath, "driver, x_paths_input, text_input_list, max_retries=4, scroll=False, timeout=20",
               "Hover over the first element visible by the XPaths, then by the exact texts.\n"
               "\n"
               "Parameters: driver; x_paths_input: XPaths, tried first; text_input_list: visible "
               "texts, tried second; max_retries: passes over each list; scroll: scroll the texts "
               "into view first; timeout: seconds per visibility wait.\n"
               "Returns: True once hovered, else False.\n"
               "Worst-case wait with the defaults: 4 passes x 20 s for every XPath and every text + "
               "5 s of pauses between XPath passes + 10 s between text passes."),
    /*  9 */ KF_ROUTINE(page_is_completed, "driver",
               "Tell whether the document has finished loading.\n"
               "\n"
               "Parameters: driver.\n"
               "Returns: True when document.readyState is \"complete\", else False.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 10 */ KF_ROUTINE(similar, "a, b",
               "Similarity ratio of two sequences (difflib).\n"
               "\n"
               "Parameters: a, b: the sequences.\n"
               "Returns: a float from 0 to 1.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    KF_DATA("first_column_match", zero),
    KF_DATA("second_column_match", zero),
    KF_DATA("third_column_match", zero),
    KF_DATA("fourth_column_match", zero),
    KF_DATA("fifth_column_match", zero),
    /* 11 */ KF_ROUTINE(Click_ok_popup, "driver",
               "Accept the open JavaScript alert.\n"
               "\n"
               "Parameters: driver.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 12 */ KF_ROUTINE(extract_performance_logs_and_append_to_csv, "driver, file_path, step_type, action_type",
               "Append the page's resource timings to a CSV file, one row per resource.\n"
               "\n"
               "Parameters: driver; file_path: the CSV file (the header is written only when it is "
               "new); step_type, action_type: the step's tags.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 20 s for a body element (TimeoutException is "
               "raised after it)."),
    /* 13 */ KF_ROUTINE(wait_for_page_to_load, "driver, loading_xpath, timeout=20",
               "Wait until the loading indicator no longer says \"Loading\".\n"
               "\n"
               "Parameters: driver; loading_xpath: the indicator; timeout: seconds to wait.\n"
               "Returns: None (failures are printed).\n"
               "Worst-case wait with the defaults: 20 s."),
    /* 14 */ KF_ROUTINE(click_element_by_text, "driver, text, max_retries=4, timeout=20",
               "Click an element by its visible text with exact, span and parent fallbacks.\n"
               "\n"
               "Parameters: driver; text: the visible text; max_retries: cycles; timeout: seconds "
               "per clickable wait.\n"
               "Returns: True once clicked, else False.\n"
               "Worst-case wait with the defaults: 4 cycles x 20 s + 1+2+3+4 = 10 s of pauses: 90 s."),
    /* 15 */ KF_ROUTINE(get_shadow_root, "driver, tag_name",
               "The open shadow root of the first element with the tag name.\n"
               "\n"
               "Parameters: driver; tag_name: the host's tag.\n"
               "Returns: the shadow root, or None when the host has none.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 16 */ KF_ROUTINE(shadow_find, "shadow_root, css_selector",
               "Find an element inside a shadow root by CSS selector.\n"
               "\n"
               "Parameters: shadow_root; css_selector.\n"
               "Returns: the element; NoSuchElementException propagates.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 17 */ KF_ROUTINE(input_data_by_all_option, R"(driver, x_paths_input, text_input_list, data, calender_date, max_attempts=3, timeout=10, scroll=False, input_delay=2, shadow_host_tag=None, field_type="Text_field")",
               "Type data into the field found by the XPaths, then by the exact texts.\n"
               "\n"
               "Parameters: driver; x_paths_input: XPaths, tried first; text_input_list: visible "
               "texts, tried second; data: what is typed; calender_date: the day for a calendar "
               "field; max_attempts: passes; timeout: seconds per wait; scroll: scroll the texts "
               "into view first; input_delay: seconds slept before typing; shadow_host_tag: look "
               "inside this host's shadow root; field_type: \"Text_field\", \"Calender\" or \"others\".\n"
               "Returns: True once typed, else False.\n"
               "Worst-case wait with the defaults: 3 passes x (10 s wait + 2 s delay) for every "
               "XPath and every text + 1+2+3 = 6 s of pauses."),
    /* 18 */ KF_ROUTINE(wait_for_element_to_appear, "driver, x_paths_list, max_retries=20, polling_interval=1, consecutive_exists=3, scroll=False, timeout=10",
               "Wait until an element has been seen on consecutive polls.\n"
               "\n"
               "Parameters: driver; x_paths_list: XPaths looked up each poll; max_retries: polls; "
               "polling_interval: seconds between polls; consecutive_exists: sightings in a row "
               "needed; scroll: scroll to it; timeout: accepted, not used.\n"
               "Returns: True when confirmed, else False.\n"
               "Worst-case wait with the defaults: 20 polls x 1 s: about 20 s."),
    /* 19 */ KF_ROUTINE(click_and_check_url_change, "driver, x_paths, text_inputs, trial, timeout=4, scroll=True, max_attempts=3",
               "Click and confirm that the page URL changed, each XPath and then each text in turn.\n"
               "\n"
               "Parameters: driver; x_paths: XPaths; text_inputs: texts (also the fallback of each "
               "XPath try); trial: the caller's label; timeout: seconds per click wait; scroll: "
               "scroll first; max_attempts: passes.\n"
               "Returns: True when the URL changed after a click, else False.\n"
               "Worst-case wait with the defaults: 3 passes x (XPaths + texts) clicks, each up to 5 "
               "s for overlays + 4 s per option tried + 1 s."),
    /* 20 */ KF_ROUTINE(find_matching_row, "df, criteria, match_threshold=0.5",
               "Find the first DataFrame row that matches enough of the criteria.\n"
               "\n"
               "Parameters: df: the table (its column labels are normalised in place); criteria: "
               "column -> value; match_threshold: the share of criteria that must match.\n"
               "Returns: the row's index label, or -1.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 21 */ KF_ROUTINE(click_checkbox_by_row, "driver, row_index",
               "Click the checkbox of a row of the portal's list table (either layout).\n"
               "\n"
               "Parameters: driver; row_index: the row, counted as the table's XPath does.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 2 s after a successful click."),
    /* 22 */ KF_ROUTINE(extract_text, "driver, xpaths, max_retries=3, retry_delay=1, waittime=3",
               "Text of the first element found by the XPaths.\n"
               "\n"
               "Parameters: driver; xpaths: XPaths tried in order; max_retries: tries per XPath; "
               "retry_delay: seconds between tries; waittime: seconds per presence wait.\n"
               "Returns: the text (possibly \"\"), or False when no XPath found an element.\n"
               "Worst-case wait with the defaults: 3 x 3 s + 2 x 1 s = 11 s for each missing XPath."),
    /* 23 */ KF_ROUTINE(get_all_xpaths, "driver",
               "Absolute XPath of every element of the current document.\n"
               "\n"
               "Parameters: driver.\n"
               "Returns: a list of str, in document order.\n"
               "Worst-case wait with the defaults: none: one script call."),
    /* 24 */ KF_ROUTINE(is_arabic, "text",
               "Tell whether the text holds an Arabic letter.\n"
               "\n"
               "Parameters: text.\n"
               "Returns: True or False.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 25 */ KF_ROUTINE(application_details_formatting, "text",
               "Parse the application details panel text into a record.\n"
               "\n"
               "Parameters: text: the panel's text.\n"
               "Returns: a one-row DataFrame (empty when text is empty).\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 26 */ KF_ROUTINE(Getting_Application_Detials, R"(driver, Services_category="DEVU")",
               "Read the details panel of the opened application.\n"
               "\n"
               "Parameters: driver; Services_category: which panel layout to read.\n"
               "Returns: a one-row DataFrame, empty when nothing could be read.\n"
               "Worst-case wait with the defaults: 11 s per missing XPath of the panel (text "
               "extraction)."),
    /* 27 */ KF_ROUTINE(Getting_Application_From_Inbox, R"(driver, application_number, tab_name, environment="default", Dashbord_URL="https://devu-test.portal.example/private#dashboard")",
               "Find and open an application from the portal's inbox tabs.\n"
               "\n"
               "Parameters: driver; application_number; tab_name: \"completed\", \"pending\" or \"Inbox\";"
               " environment: \"DEVU\" or \"default\"; Dashbord_URL: the dashboard to open.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 9 s of fixed pauses in the default variant, plus "
               "the page-load waits (20 s each), one input and the clicks (5 s per wait)."),
    /* 28 */ KF_ROUTINE(create_vertical_snake_text, "text, wave_length=3",
               "Lay the text out as a vertical wave.\n"
               "\n"
               "Parameters: text; wave_length: the wave's width.\n"
               "Returns: the laid-out text (str).\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 29 */ KF_ROUTINE(ZIV_payment, "driver, application_number",
               "Pay an application's fees in the payment application.\n"
               "\n"
               "Parameters: driver; application_number. The host, account and password are read from"
               " the environment at every call: KESTRELFLOW_ZIV_HOST, KESTRELFLOW_ZIV_USER, "
               "KESTRELFLOW_ZIV_PASSWORD.\n"
               "Returns: None (without an account or password it prints the missing variables and "
               "returns at once).\n"
               "Worst-case wait with the defaults: the fixed pauses of each payment plus every click"
               " (4 passes, 5 s per wait) and input (3 passes, 10 s per wait)."),
    /* 30 */ KF_ROUTINE(enter_municipality, "driver, municipality_xpath, municipality_name, Land_use_Input_xpath, first_option_dropdownlist",
               "Enter the municipality of a plot search.\n"
               "\n"
               "Parameters: driver; municipality_xpath: the list's container; municipality_name: the"
               " value typed; Land_use_Input_xpath: the panel's search input; "
               "first_option_dropdownlist: the first result.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: the fixed pauses plus one input (3 passes, 10 s "
               "per wait) and the clicks (20 s per wait)."),
    /* 31 */ KF_ROUTINE(enter_plot_number, "driver, plot_number_xpath, plot_number",
               "Enter the plot number of a plot search.\n"
               "\n"
               "Parameters: driver; plot_number_xpath: the field; plot_number: the value typed.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: one input: 3 passes x (10 s + 2 s) per XPath + 6 "
               "s."),
    /* 32 */ KF_ROUTINE(enter_district_or_zone, "driver, districtId_zone_xpath, District_zone_input, Land_use_Input_xpath, first_option_dropdownlist",
               "Enter the district or zone of a plot search.\n"
               "\n"
               "Parameters: driver; districtId_zone_xpath: the list's container; "
               "District_zone_input: the value typed; Land_use_Input_xpath: the panel's search "
               "input; first_option_dropdownlist: the first result.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: the fixed pauses plus one input (3 passes, 10 s "
               "per wait) and the clicks (20 s per wait)."),
    /* 33 */ KF_ROUTINE(enter_land_use, "driver, land_use_xpath, Land_use_Input_xpath, Land_use, first_option_dropdownlist",
               "Enter the land use of a plot search.\n"
               "\n"
               "Parameters: driver; land_use_xpath: the list's container; Land_use_Input_xpath: the "
               "panel's search input; Land_use: the value typed; first_option_dropdownlist: the "
               "first result.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: the fixed pauses plus one input (3 passes, 10 s "
               "per wait) and the clicks (20 s per wait)."),
    /* 34 */ KF_ROUTINE(Search_by_plot, "driver, plot_number, District_zone_input, Land_use, double_click_option=False",
               "Run a land search by plot: the four criteria, then the search button.\n"
               "\n"
               "Parameters: driver; plot_number; District_zone_input; Land_use; double_click_option:"
               " press the search button twice.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 11 s of fixed pauses plus the four entries' waits"
               " and the search click (5 passes, 20 s per wait)."),
    /* 35 */ KF_ROUTINE(search_by_owner, "driver, EID_persona",
               "Run a land search by the owner's identity number and tick the first result.\n"
               "\n"
               "Parameters: driver; EID_persona: the national identity number.\n"
               "Returns: True.\n"
               "Worst-case wait with the defaults: two page-load waits (20 s each), one input (3 "
               "passes, 10 s per wait) and the clicks (5 s per wait)."),
    /* 36 */ KF_ROUTINE(Getting_data_from_Owner_search, "driver",
               "Read the owner search results into a DataFrame.\n"
               "\n"
               "Parameters: driver.\n"
               "Returns: a DataFrame of the eight owner-search columns.\n"
               "Worst-case wait with the defaults: none: plain lookups."),
    /* 37 */ KF_ROUTINE(get_element_with_retries, "row, xpath, max_retries=3, delay=1",
               "Text of a sub-element of a row, with retries.\n"
               "\n"
               "Parameters: row: a WebElement (or the driver); xpath: the sub-element; max_retries: "
               "tries; delay: seconds between tries.\n"
               "Returns: the text, or \"\" after the last try.\n"
               "Worst-case wait with the defaults: (3 - 1) x 1 s = 2 s of pauses, plus the lookups."),
    /* 38 */ KF_ROUTINE(Getting_data_from_plot_search, "driver",
               "Read the plot search results into a DataFrame.\n"
               "\n"
               "Parameters: driver.\n"
               "Returns: a DataFrame of the nine plot-search columns.\n"
               "Worst-case wait with the defaults: 2 s per missing cell (sub-element retries)."),
    /* 39 */ KF_ROUTINE(send_post_requests_for_payloads, "df, url, headers, delay=8",
               "Post the stored request payloads of a DataFrame, one request per row.\n"
               "\n"
               "Parameters: df: a table with a \"request_payload\" column; url; headers: a mapping; "
               "delay: seconds after each request.\n"
               "Returns: None (responses are printed).\n"
               "Worst-case wait with the defaults: 8 s per row, plus each request's own time; "
               "each request is posted with timeout=(10, 60): up to 10 s to connect and 60 s for "
               "each wait for data, a longer silence raising requests' time-out error."),
    /* 40 */ KF_ROUTINE(wait_for_error_to_disappear, "driver, maxtrial=20, polling_interval=1, consecutive_not_exists=3",
               "Wait the portal's error banner away, reloading the page while it shows.\n"
               "\n"
               "Parameters: driver; maxtrial: the period in polls; polling_interval: seconds after a"
               " reload; consecutive_not_exists: clear polls in a row needed.\n"
               "Returns: True once the banner stayed away, else False.\n"
               "Worst-case wait with the defaults: 20 polls of 1 s, each with a reload: about 20 s "
               "plus the reloads."),
    /* 41 */ KF_ROUTINE(check_element_existance, R"(driver, xpaths, maxtrial=20, polling_interval=1, mode="keep", min_found=1)",
               "Confirm that elements are present over a period.\n"
               "\n"
               "Parameters: driver; xpaths; maxtrial: the period in polls; polling_interval: seconds"
               " between polls; mode: \"keep\" (poll the whole period) or stop at the first "
               "confirmation; min_found: how many must be present.\n"
               "Returns: True or False.\n"
               "Worst-case wait with the defaults: 20 polls x 1 s: about 20 s (always, in \"keep\" "
               "mode)."),
    /* 42 */ KF_ROUTINE(check_element_disapearing, R"(driver, xpaths, maxtrial=20, polling_interval=1, consecutive_not_exists=3, mode="keep")",
               "Confirm that elements are gone over a period.\n"
               "\n"
               "Parameters: driver; xpaths; maxtrial: the period in polls; polling_interval: seconds"
               " between polls; consecutive_not_exists: absent polls in a row needed; mode: \"keep\" "
               "or stop at the first confirmation.\n"
               "Returns: True or False.\n"
               "Worst-case wait with the defaults: 20 polls x 1 s: about 20 s."),
    /* 43 */ KF_ROUTINE(check_data_error_retrieving, "driver, retry_params",
               "Detect the portal's data-retrieval error and reload until it is gone.\n"
               "\n"
               "Parameters: driver; retry_params: a dict with \"max_retries\" (2) and \"retry_delay\" "
               "(0.5).\n"
               "Returns: True when the page is clear, else False.\n"
               "Worst-case wait with the defaults: per attempt: about 7 s of text reading + up to 50"
               " s of spinner polls + retry_delay; about 2 minutes with the defaults."),
    /* 44 */ KF_ROUTINE(wait_for_loading_elements, "driver, xpaths, maxtrial=20, polling_interval=1, consecutive_not_exists=3",
               "Wait until the loaders are gone.\n"
               "\n"
               "Parameters: driver; xpaths: the loaders; maxtrial: the period in polls; "
               "polling_interval: seconds between polls; consecutive_not_exists: absent polls in a "
               "row needed.\n"
               "Returns: True when the loaders are gone, False at time-out.\n"
               "Worst-case wait with the defaults: 20 polls x 1 s: about 20 s."),
    /* 45 */ KF_ROUTINE(dismiss_alerts, "driver",
               "Dismiss an open alert.\n"
               "\n"
               "Parameters: driver.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 3 s for an alert to appear."),
    /* 46 */ KF_ROUTINE(Skipping_intro_part, "driver, wait_time=0.5",
               "Click through the portal's introduction tour.\n"
               "\n"
               "Parameters: driver; wait_time: seconds before each button and after the last.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 4 x 0.5 s of pauses plus three clicks (4 passes, "
               "5 s per wait)."),
    /* 47 */ KF_ROUTINE(set_zoom, "driver, zoom_level=70",
               "Set the CSS zoom of the page body, in percent.\n"
               "\n"
               "Parameters: driver; zoom_level: percent.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 48 */ KF_ROUTINE(wait_for_element, "driver, by, value, retries=3, delay=2",
               "Wait for an element, with retries.\n"
               "\n"
               "Parameters: driver; by, value: the locator; retries: attempts; delay: seconds after "
               "each failed attempt.\n"
               "Returns: the element; TimeoutException is raised after the last attempt.\n"
               "Worst-case wait with the defaults: 3 x (20 s + 2 s) = 66 s."),
    /* 49 */ KF_ROUTINE(extract_email_data, "email_text",
               "Parse a bilingual notification e-mail into its record.\n"
               "\n"
               "Parameters: email_text.\n"
               "Returns: a dict of 14 fixed keys.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 50 */ KF_ROUTINE(clean_text, "text, language",
               "Clean English or Arabic text.\n"
               "\n"
               "Parameters: text; language: \"english\" or \"arabic\" (any other value only trims).\n"
               "Returns: the cleaned text.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    KF_DATA("SCOPES", gmail_scopes),
    /* 51 */ KF_ROUTINE(extract_application_number, "text",
               "The application number found in a text.\n"
               "\n"
               "Parameters: text.\n"
               "Returns: the 12 digits (str), or \"Application number not found\".\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 52 */ KF_ROUTINE(extract_service_name, "html_content",
               "The service name found in an e-mail body.\n"
               "\n"
               "Parameters: html_content.\n"
               "Returns: the name, or \"Not Found\".\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 53 */ KF_ROUTINE(authenticate_gmail, "",
               "Authorise against Gmail (token.json, else the consent flow with Creds.json) and "
               "return the service.\n"
               "\n"
               "Parameters: none.\n"
               "Returns: the Gmail API service.\n"
               "Worst-case wait with the defaults: the consent flow waits for the user in a browser "
               "when there is no valid token."),
    /* 54 */ KF_ROUTINE(list_messages, "service, max_results=5",
               "Identifiers of the newest messages.\n"
               "\n"
               "Parameters: service; max_results.\n"
               "Returns: a list of message references ([] on an API error).\n"
               "Worst-case wait with the defaults: one API request."),
    /* 55 */ KF_ROUTINE(get_message_details, "service, msg_id",
               "Subject, sender, body and time of a message.\n"
               "\n"
               "Parameters: service; msg_id.\n"
               "Returns: a dict with \"subject\", \"sender\", \"body\", \"time\".\n"
               "Worst-case wait with the defaults: one API request."),
    /* 56 */ KF_ROUTINE(populate_email_template, "template, data",
               "Fill the {{key}} placeholders of a template.\n"
               "\n"
               "Parameters: template: the text; data: key -> value.\n"
               "Returns: the filled text.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 57 */ KF_ROUTINE(fetch_emails_to_dataframe, "service, max_results=50",
               "Read the newest messages into a DataFrame.\n"
               "\n"
               "Parameters: service; max_results.\n"
               "Returns: a DataFrame, one row per message.\n"
               "Worst-case wait with the defaults: one API request per message, plus the listing."),
    /* 58 */ KF_ROUTINE(read_html_template, "file_path",
               "Read an HTML template (UTF-8).\n"
               "\n"
               "Parameters: file_path.\n"
               "Returns: the text; errors propagate.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 59 */ KF_ROUTINE(save_html_file, "content, file_path",
               "Write an HTML file (UTF-8).\n"
               "\n"
               "Parameters: content; file_path.\n"
               "Returns: None; errors propagate.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 60 */ KF_ROUTINE(create_temp_html_file, "content",
               "Write content to a temporary HTML file.\n"
               "\n"
               "Parameters: content.\n"
               "Returns: the file's path.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 61 */ KF_ROUTINE(copy_and_rename_file, "input_dir, output_dir, text_to_include, file_extension",
               "Copy a matching file under a dated name.\n"
               "\n"
               "Parameters: input_dir; output_dir; text_to_include: a substring of the name; "
               "file_extension: the name's end.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 62 */ KF_ROUTINE(enter_field_data, R"(driver, field_xpath, input_xpath, input_value, dropdown_xpath, field_name="Field")",
               "Click a field, type into its input and pick the drop-down entry.\n"
               "\n"
               "Parameters: driver; field_xpath; input_xpath; input_value; dropdown_xpath; "
               "field_name: the name printed.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: two clicks (5 passes, 20 s per wait) + one input "
               "(3 passes x (10 s + 2 s) + 6 s) + 2 s."),
    /* 63 */ KF_ROUTINE(move_mouse_to_second_screen, "",
               "Park the mouse pointer on the second screen.\n"
               "\n"
               "Parameters: none.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 64 */ KF_ROUTINE(upload_official_letter, R"(driver, upload_button_xpath, upload_button_text, file_path, target_screen="first")",
               "Upload a letter through the native file dialog.\n"
               "\n"
               "Parameters: driver; upload_button_xpath, upload_button_text: the upload button; "
               "file_path: the document; target_screen: \"first\" or \"second\".\n"
               "Returns: None; an invalid target_screen raises ValueError.\n"
               "Worst-case wait with the defaults: the fixed pauses plus the button click (4 passes,"
               " 5 s per wait)."),
    /* 65 */ KF_ROUTINE(scrape_application_number, "driver, enviroment, max_retries=3, retry_delay=3",
               "Read the application number of the opened application.\n"
               "\n"
               "Parameters: driver; enviroment: which panel layout to read; max_retries: attempts; "
               "retry_delay: seconds between attempts.\n"
               "Returns: the number (str), or None.\n"
               "Worst-case wait with the defaults: 3 attempts x (text reading + 3 s)."),
    /* 66 */ KF_ROUTINE(find_error_messages, "data_page, error_messages",
               "The error messages found in a page text.\n"
               "\n"
               "Parameters: data_page: the text; error_messages: the messages looked for.\n"
               "Returns: the list of those found.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 67 */ KF_ROUTINE(create_folder_in_path, "folderpath",
               "Create a folder (and its parents).\n"
               "\n"
               "Parameters: folderpath.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 68 */ KF_ROUTINE(export_network_logs, "driver, Service_name, Screenshots_path, file_path, step_type, action_type, Base_path, zoom_level=70",
               "Save a step screenshot and append the page's resource timings to the CSV.\n"
               "\n"
               "Parameters: driver; Service_name: the screenshot sub-folder; Screenshots_path: "
               "accepted, not used; file_path: the CSV; step_type, action_type: the step's tags; "
               "Base_path: the screenshot folder; zoom_level: accepted, not used.\n"
               "Returns: None.\n"
               "Worst-case wait with the defaults: 20 s for a body element (TimeoutException is "
               "raised after it)."),
    /* 69 */ KF_ROUTINE(parse_application_details, "data_list",
               "Parse step values into application details.\n"
               "\n"
               "Parameters: data_list: the read steps' {\"step\", \"value\"} entries.\n"
               "Returns: a dict: step name -> {label: value}.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 70 */ KF_ROUTINE(get_step_value, "data_dict, step_name, key",
               "data_dict[step_name][key], or None.\n"
               "\n"
               "Parameters: data_dict; step_name; key.\n"
               "Returns: the value, or None.\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 71 */ KF_ROUTINE(detect_language, "text",
               "Tell the language of a text by a vote over its letters.\n"
               "\n"
               "Parameters: text.\n"
               "Returns: \"English\", \"Arabic\" or \"Unknown\".\n"
               "Worst-case wait with the defaults: none: no waits or pauses."),
    /* 72 */ KF_ROUTINE(run_steps, "driver, step_list, web_app_name, file_path, Base_path, SERVICE_NAME, Screenshots_path, application_validation_box=None, sleep_time=0.5",
               "Run a list of steps with a screenshot and timings after each.\n"
               "\n"
               "Parameters: driver; step_list: steps [name, action, xpaths, texts, delay(, values"
               "(, limits))], action one of \"click\", \"input\", \"get_url\", \"Scrap_data\"; the "
               "optional seventh element is a dict with \"timeout\" (the routine's wait per lookup) "
               "and/or \"retries\" (its passes) for a click, input or read step; web_app_name: the "
               "screenshot sub-folder's prefix; file_path: the timing CSV (appended); Base_path: the"
               " screenshot folder; SERVICE_NAME: the error records' prefix; Screenshots_path: "
               "accepted, not used; application_validation_box: XPaths read by a "
               "\"Getting_application_validation\" step; sleep_time: seconds after each step.\n"
               "Returns: (context, data_extracted): context holds \"switch_lang\", \"app_cancel_No\","
               " \"error_records\" (one dict per failed step) and \"step_results\" (one dict per step:"
               " \"step\", \"action\", \"outcome\" - \"done\", \"not done\", \"no action\" or \"error\" -,"
               " \"reason\" - None when done, else one line saying why -, \"seconds\", \"error\", "
               "\"url\" - the address asked for when a navigation failed -, \"title\" - the page's "
               "title after a get_url step, else None), data_extracted the read steps' texts. A "
               "get_url step whose page is the browser's error page or answered HTTP 400 or more is "
               "not done. An \"input\" step's values given as one text are one value.\n"
               "Worst-case wait with the defaults: per step its delay + sleep_time + its action's "
               "waits (a click step: 5 s + 2 passes x 20 s per option + 3 s) + 20 s for the export's"
               " body wait."),
};

constexpr size_t count_functions() {
  size_t n = 0;
  for (const Row& row : kRows) n += row.kind != Row::data;
  return n;
}

}  // namespace

void bind_functions(py::dict globals) {
  static_assert(count_functions() == 72, "the table lists 72 functions");
  for (const Row& row : kRows)
    globals[row.name] = row.kind == Row::data ? row.value() : make_function(row);
}

}  // namespace kf
