"""Browser automation routines for bilingual e-services portals (type stubs).

Every function prints its progress to standard output and reports failure by
its return value.  Module-level collaborators (time, By, WebDriverWait, ...)
are looked up at call time, so a script may rebind them.
"""
from collections.abc import Iterable, Sequence
from typing import Any, Literal

import pandas as pd
from selenium.webdriver.remote.webdriver import WebDriver
from selenium.webdriver.remote.webelement import WebElement

error_records: list[Any]
first_column_match: int
second_column_match: int
third_column_match: int
fourth_column_match: int
fifth_column_match: int
SCOPES: list[str]

def Generate_File_name(Service_name: Any, trial: Any, directory: str = "performance_logs_") -> str:
    """Build a dated CSV file name for a service and trial, and print it."""

def Chrome_Driver_info(maximize: bool = False, headless: bool = False) -> WebDriver:
    """Open a Chrome session with the fixed switches and return its WebDriver."""

def FireFox_Driver_info(maximize: bool = False, headless: bool = False, eager: bool = True, mode: str = "auto", firefox_path: str = "C:\\Users\\automation\\AppData\\Local\\Mozilla Firefox\\firefox.exe", driver_path: str = "C:\\Users\\automation\\AppData\\Local\\GeckoDriver\\geckodriver.exe") -> WebDriver:
    """Open a Firefox session with the fixed preferences and return its WebDriver."""

def Edge_Driver_info(maximize: bool = False, headless: bool = False) -> WebDriver | None:
    """Open an Edge session with the fixed switches."""

def Navigating_into_service_name_SH(driver: WebDriver, Service_name: Any, loading_xpath: Any) -> None:
    """Open a service from the portal's Services tab: the tab, the search box, the service card."""

def capture_screenshot(base_path: str = "Screenshots", screen_number: int = 0, service_name: str = "default_service", step_name: str = "default_step", use_webdriver: bool = False, driver: WebDriver | None = None) -> None:
    """Save a PNG of the browser viewport or of a screen under base_path/service_name."""

def clicking_on_element_by_all_option(driver: WebDriver, x_paths_input: Sequence[str], text_input_list: Sequence[str], max_retries: int = 4, scroll: bool = False, timeout: float = 20) -> bool:
    """Click the first element reachable by the XPaths, then by the exact texts, in passes."""

def hovering_by_xpath(driver: WebDriver, x_paths_input: Sequence[str], text_input_list: Sequence[str], max_retries: int = 4, scroll: bool = False, timeout: float = 20) -> bool:
    """Hover over the first element visible by the XPaths, then by the exact texts."""

def page_is_completed(driver: WebDriver) -> bool:
    """Tell whether the document has finished loading."""

def similar(a: Any, b: Any) -> float:
    """Similarity ratio of two sequences (difflib)."""

def Click_ok_popup(driver: WebDriver) -> None:
    """Accept the open JavaScript alert."""

def extract_performance_logs_and_append_to_csv(driver: WebDriver, file_path: Any, step_type: Any, action_type: Any) -> None:
    """Append the page's resource timings to a CSV file, one row per resource."""

def wait_for_page_to_load(driver: WebDriver, loading_xpath: Any, timeout: float = 20) -> None:
    """Wait until the loading indicator no longer says "Loading"."""

def click_element_by_text(driver: WebDriver, text: str, max_retries: int = 4, timeout: float = 20) -> bool:
    """Click an element by its visible text with exact, span and parent fallbacks."""

def get_shadow_root(driver: WebDriver, tag_name: Any) -> Any:
    """The open shadow root of the first element with the tag name."""

def shadow_find(shadow_root: Any, css_selector: Any) -> WebElement:
    """Find an element inside a shadow root by CSS selector."""

def input_data_by_all_option(driver: WebDriver, x_paths_input: Sequence[str], text_input_list: Sequence[str], data: Any, calender_date: Any, max_attempts: int = 3, timeout: float = 10, scroll: bool = False, input_delay: float = 2, shadow_host_tag: Any = None, field_type: str = "Text_field") -> bool:
    """Type data into the field found by the XPaths, then by the exact texts."""

def wait_for_element_to_appear(driver: WebDriver, x_paths_list: Iterable[str], max_retries: int = 20, polling_interval: float = 1, consecutive_exists: int = 3, scroll: bool = False, timeout: float = 10) -> bool:
    """Wait until an element has been seen on consecutive polls."""

def click_and_check_url_change(driver: WebDriver, x_paths: Sequence[str], text_inputs: Sequence[str], trial: Any, timeout: float = 4, scroll: bool = True, max_attempts: int = 3) -> bool:
    """Click and confirm that the page URL changed, each XPath and then each text in turn."""

def find_matching_row(df: pd.DataFrame, criteria: Any, match_threshold: Any = 0.5) -> Any:
    """Find the first DataFrame row that matches enough of the criteria."""

def click_checkbox_by_row(driver: WebDriver, row_index: Any) -> None:
    """Click the checkbox of a row of the portal's list table (either layout)."""

def extract_text(driver: WebDriver, xpaths: Iterable[str], max_retries: int = 3, retry_delay: float = 1, waittime: float = 3) -> str | Literal[False]:
    """Text of the first element found by the XPaths."""

def get_all_xpaths(driver: WebDriver) -> list[str]:
    """Absolute XPath of every element of the current document."""

def is_arabic(text: str) -> bool:
    """Tell whether the text holds an Arabic letter."""

def application_details_formatting(text: str) -> pd.DataFrame:
    """Parse the application details panel text into a record."""

def Getting_Application_Detials(driver: WebDriver, Services_category: str = "DEVU") -> pd.DataFrame:
    """Read the details panel of the opened application."""

def Getting_Application_From_Inbox(driver: WebDriver, application_number: Any, tab_name: Any, environment: str = "default", Dashbord_URL: str = "https://devu-test.portal.example/private#dashboard") -> None:
    """Find and open an application from the portal's inbox tabs."""

def create_vertical_snake_text(text: str, wave_length: Any = 3) -> str:
    """Lay the text out as a vertical wave."""

def ZIV_payment(driver: WebDriver, application_number: Any) -> None:
    """Pay an application's fees in the payment application."""

def enter_municipality(driver: WebDriver, municipality_xpath: Any, municipality_name: Any, Land_use_Input_xpath: Any, first_option_dropdownlist: Any) -> None:
    """Enter the municipality of a plot search."""

def enter_plot_number(driver: WebDriver, plot_number_xpath: Any, plot_number: Any) -> None:
    """Enter the plot number of a plot search."""

def enter_district_or_zone(driver: WebDriver, districtId_zone_xpath: Any, District_zone_input: Any, Land_use_Input_xpath: Any, first_option_dropdownlist: Any) -> None:
    """Enter the district or zone of a plot search."""

def enter_land_use(driver: WebDriver, land_use_xpath: Any, Land_use_Input_xpath: Any, Land_use: Any, first_option_dropdownlist: Any) -> None:
    """Enter the land use of a plot search."""

def Search_by_plot(driver: WebDriver, plot_number: Any, District_zone_input: Any, Land_use: Any, double_click_option: Any = False) -> None:
    """Run a land search by plot: the four criteria, then the search button."""

def search_by_owner(driver: WebDriver, EID_persona: Any) -> bool:
    """Run a land search by the owner's identity number and tick the first result."""

def Getting_data_from_Owner_search(driver: WebDriver) -> pd.DataFrame:
    """Read the owner search results into a DataFrame."""

def get_element_with_retries(row: Any, xpath: Any, max_retries: int = 3, delay: float = 1) -> str | None:
    """Text of a sub-element of a row, with retries."""

def Getting_data_from_plot_search(driver: WebDriver) -> pd.DataFrame:
    """Read the plot search results into a DataFrame."""

def send_post_requests_for_payloads(df: pd.DataFrame, url: Any, headers: Any, delay: float = 8) -> None:
    """Post the stored request payloads of a DataFrame, one request per row."""

def wait_for_error_to_disappear(driver: WebDriver, maxtrial: float = 20, polling_interval: float = 1, consecutive_not_exists: int = 3) -> bool:
    """Wait the portal's error banner away, reloading the page while it shows."""

def check_element_existance(driver: WebDriver, xpaths: Iterable[str], maxtrial: float = 20, polling_interval: float = 1, mode: str = "keep", min_found: int = 1) -> bool:
    """Confirm that elements are present over a period."""

def check_element_disapearing(driver: WebDriver, xpaths: Iterable[str], maxtrial: float = 20, polling_interval: float = 1, consecutive_not_exists: int = 3, mode: str = "keep") -> bool:
    """Confirm that elements are gone over a period."""

def check_data_error_retrieving(driver: WebDriver, retry_params: Any) -> bool:
    """Detect the portal's data-retrieval error and reload until it is gone."""

def wait_for_loading_elements(driver: WebDriver, xpaths: Iterable[str], maxtrial: float = 20, polling_interval: float = 1, consecutive_not_exists: int = 3) -> bool:
    """Wait until the loaders are gone."""

def dismiss_alerts(driver: WebDriver) -> None:
    """Dismiss an open alert."""

def Skipping_intro_part(driver: WebDriver, wait_time: float = 0.5) -> None:
    """Click through the portal's introduction tour."""

def set_zoom(driver: WebDriver, zoom_level: float = 70) -> None:
    """Set the CSS zoom of the page body, in percent."""

def wait_for_element(driver: WebDriver, by: Any, value: Any, retries: int = 3, delay: float = 2) -> WebElement:
    """Wait for an element, with retries."""

def extract_email_data(email_text: Any) -> dict[str, Any]:
    """Parse a bilingual notification e-mail into its record."""

def clean_text(text: str, language: str) -> str:
    """Clean English or Arabic text."""

def extract_application_number(text: str) -> str:
    """The application number found in a text."""

def extract_service_name(html_content: Any) -> str:
    """The service name found in an e-mail body."""

def authenticate_gmail() -> Any:
    """Authorise against Gmail (token.json, else the consent flow with Creds.json) and return the service."""

def list_messages(service: Any, max_results: Any = 5) -> list[dict[str, Any]]:
    """Identifiers of the newest messages."""

def get_message_details(service: Any, msg_id: Any) -> dict[str, str]:
    """Subject, sender, body and time of a message."""

def populate_email_template(template: Any, data: Any) -> str:
    """Fill the {{key}} placeholders of a template."""

def fetch_emails_to_dataframe(service: Any, max_results: Any = 50) -> pd.DataFrame:
    """Read the newest messages into a DataFrame."""

def read_html_template(file_path: Any) -> str:
    """Read an HTML template (UTF-8)."""

def save_html_file(content: Any, file_path: Any) -> None:
    """Write an HTML file (UTF-8)."""

def create_temp_html_file(content: Any) -> str:
    """Write content to a temporary HTML file."""

def copy_and_rename_file(input_dir: Any, output_dir: Any, text_to_include: Any, file_extension: Any) -> None:
    """Copy a matching file under a dated name."""

def enter_field_data(driver: WebDriver, field_xpath: Any, input_xpath: Any, input_value: Any, dropdown_xpath: Any, field_name: str = "Field") -> None:
    """Click a field, type into its input and pick the drop-down entry."""

def move_mouse_to_second_screen() -> None:
    """Park the mouse pointer on the second screen."""

def upload_official_letter(driver: WebDriver, upload_button_xpath: Any, upload_button_text: Any, file_path: Any, target_screen: str = "first") -> None:
    """Upload a letter through the native file dialog."""

def scrape_application_number(driver: WebDriver, enviroment: Any, max_retries: int = 3, retry_delay: float = 3) -> str | None:
    """Read the application number of the opened application."""

def find_error_messages(data_page: Any, error_messages: Any) -> list[Any]:
    """The error messages found in a page text."""

def create_folder_in_path(folderpath: Any) -> None:
    """Create a folder (and its parents)."""

def export_network_logs(driver: WebDriver, Service_name: Any, Screenshots_path: Any, file_path: Any, step_type: Any, action_type: Any, Base_path: Any, zoom_level: float = 70) -> None:
    """Save a step screenshot and append the page's resource timings to the CSV."""

def parse_application_details(data_list: Any) -> dict[Any, dict[str, Any]]:
    """Parse step values into application details."""

def get_step_value(data_dict: Any, step_name: Any, key: Any) -> Any:
    """data_dict[step_name][key], or None."""

def detect_language(text: str) -> str:
    """Tell the language of a text by a vote over its letters."""

def run_steps(driver: WebDriver, step_list: Iterable[Sequence[Any]], web_app_name: Any, file_path: Any, Base_path: Any, SERVICE_NAME: Any, Screenshots_path: Any, application_validation_box: Any = None, sleep_time: float = 0.5) -> tuple[dict[str, Any], list[dict[str, Any]]]:
    """Run a list of steps with a screenshot and timings after each.

    A step is [name, action, xpaths, texts, delay(, values(, limits))]; the
    optional seventh element is a dict with "timeout" (the routine's wait per
    lookup) and/or "retries" (its passes) for a click, input or read step.
    Each entry of the context's "step_results" has "step", "action",
    "outcome" ("done", "not done", "no action" or "error"), "reason" (None
    when done, else one line saying why), "seconds", "error", "url" and
    "title" (the page's title after a get_url step).
    """
