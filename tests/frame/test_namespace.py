"""What importing the module leaves in its namespace, and the function table."""
import inspect
import pickle

import pytest

import kestrelflow.generic_utility as gu
from fakes import FakeDriver

IMPORTED = [
    "os", "time", "base64", "warnings", "tempfile", "datetime", "StringIO", "re", "pd", "np",
    "requests", "etree", "SequenceMatcher", "Image", "mss", "shutil", "pyautogui", "webdriver",
    "By", "Keys", "WebDriverWait", "EC", "Alert", "TimeoutException",
    "UnexpectedAlertPresentException", "NoSuchElementException",
    "ElementNotInteractableException", "ElementClickInterceptedException", "ChromeService",
    "ChromeOptions", "ChromeDriverManager", "FirefoxService", "FirefoxOptions", "EdgeService",
    "EdgeOptions", "EdgeChromiumDriverManager", "ActionChains", "Credentials", "InstalledAppFlow",
    "build", "HttpError", "GeckoDriverManager", "tk", "ttk", "messagebox",
]

# The public functions in binding order, with their signatures.
FUNCTIONS = [
    ("Generate_File_name", "(Service_name, trial, directory='performance_logs_')"),
    ("Chrome_Driver_info", "(maximize=False, headless=False)"),
    ("FireFox_Driver_info", None),
    ("Edge_Driver_info", "(maximize=False, headless=False)"),
    ("Navigating_into_service_name_SH", "(driver, Service_name, loading_xpath)"),
    ("capture_screenshot", "(base_path='Screenshots', screen_number=0, service_name='default_service', step_name='default_step', use_webdriver=False, driver=None)"),
    ("clicking_on_element_by_all_option", "(driver, x_paths_input, text_input_list, max_retries=4, scroll=False, timeout=20)"),
    ("hovering_by_xpath", "(driver, x_paths_input, text_input_list, max_retries=4, scroll=False, timeout=20)"),
    ("page_is_completed", "(driver)"),
    ("similar", "(a, b)"),
    ("Click_ok_popup", "(driver)"),
    ("extract_performance_logs_and_append_to_csv", "(driver, file_path, step_type, action_type)"),
    ("wait_for_page_to_load", "(driver, loading_xpath, timeout=20)"),
    ("click_element_by_text", "(driver, text, max_retries=4, timeout=20)"),
    ("get_shadow_root", "(driver, tag_name)"),
    ("shadow_find", "(shadow_root, css_selector)"),
    ("input_data_by_all_option", "(driver, x_paths_input, text_input_list, data, calender_date, max_attempts=3, timeout=10, scroll=False, input_delay=2, shadow_host_tag=None, field_type='Text_field')"),
    ("wait_for_element_to_appear", "(driver, x_paths_list, max_retries=20, polling_interval=1, consecutive_exists=3, scroll=False, timeout=10)"),
    ("click_and_check_url_change", "(driver, x_paths, text_inputs, trial, timeout=4, scroll=True, max_attempts=3)"),
    ("find_matching_row", "(df, criteria, match_threshold=0.5)"),
    ("click_checkbox_by_row", "(driver, row_index)"),
    ("extract_text", "(driver, xpaths, max_retries=3, retry_delay=1, waittime=3)"),
    ("get_all_xpaths", "(driver)"),
    ("is_arabic", "(text)"),
    ("application_details_formatting", "(text)"),
    ("Getting_Application_Detials", "(driver, Services_category='DEVU')"),
    ("Getting_Application_From_Inbox", None),
    ("create_vertical_snake_text", "(text, wave_length=3)"),
    ("ZIV_payment", "(driver, application_number)"),
    ("enter_municipality", "(driver, municipality_xpath, municipality_name, Land_use_Input_xpath, first_option_dropdownlist)"),
    ("enter_plot_number", "(driver, plot_number_xpath, plot_number)"),
    ("enter_district_or_zone", "(driver, districtId_zone_xpath, District_zone_input, Land_use_Input_xpath, first_option_dropdownlist)"),
    ("enter_land_use", "(driver, land_use_xpath, Land_use_Input_xpath, Land_use, first_option_dropdownlist)"),
    ("Search_by_plot", "(driver, plot_number, District_zone_input, Land_use, double_click_option=False)"),
    ("search_by_owner", "(driver, EID_persona)"),
    ("Getting_data_from_Owner_search", "(driver)"),
    ("get_element_with_retries", "(row, xpath, max_retries=3, delay=1)"),
    ("Getting_data_from_plot_search", "(driver)"),
    ("send_post_requests_for_payloads", "(df, url, headers, delay=8)"),
    ("wait_for_error_to_disappear", "(driver, maxtrial=20, polling_interval=1, consecutive_not_exists=3)"),
    ("check_element_existance", "(driver, xpaths, maxtrial=20, polling_interval=1, mode='keep', min_found=1)"),
    ("check_element_disapearing", "(driver, xpaths, maxtrial=20, polling_interval=1, consecutive_not_exists=3, mode='keep')"),
    ("check_data_error_retrieving", "(driver, retry_params)"),
    ("wait_for_loading_elements", "(driver, xpaths, maxtrial=20, polling_interval=1, consecutive_not_exists=3)"),
    ("dismiss_alerts", "(driver)"),
    ("Skipping_intro_part", "(driver, wait_time=0.5)"),
    ("set_zoom", "(driver, zoom_level=70)"),
    ("wait_for_element", "(driver, by, value, retries=3, delay=2)"),
    ("extract_email_data", "(email_text)"),
    ("clean_text", "(text, language)"),
    ("extract_application_number", "(text)"),
    ("extract_service_name", "(html_content)"),
    ("authenticate_gmail", "()"),
    ("list_messages", "(service, max_results=5)"),
    ("get_message_details", "(service, msg_id)"),
    ("populate_email_template", "(template, data)"),
    ("fetch_emails_to_dataframe", "(service, max_results=50)"),
    ("read_html_template", "(file_path)"),
    ("save_html_file", "(content, file_path)"),
    ("create_temp_html_file", "(content)"),
    ("copy_and_rename_file", "(input_dir, output_dir, text_to_include, file_extension)"),
    ("enter_field_data", "(driver, field_xpath, input_xpath, input_value, dropdown_xpath, field_name='Field')"),
    ("move_mouse_to_second_screen", "()"),
    ("upload_official_letter", "(driver, upload_button_xpath, upload_button_text, file_path, target_screen='first')"),
    ("scrape_application_number", "(driver, enviroment, max_retries=3, retry_delay=3)"),
    ("find_error_messages", "(data_page, error_messages)"),
    ("create_folder_in_path", "(folderpath)"),
    ("export_network_logs", "(driver, Service_name, Screenshots_path, file_path, step_type, action_type, Base_path, zoom_level=70)"),
    ("parse_application_details", "(data_list)"),
    ("get_step_value", "(data_dict, step_name, key)"),
    ("detect_language", "(text)"),
    ("run_steps", "(driver, step_list, web_app_name, file_path, Base_path, SERVICE_NAME, Screenshots_path, application_validation_box=None, sleep_time=0.5)"),
]
NAMES = [name for name, _ in FUNCTIONS]
COUNTERS = ["first_column_match", "second_column_match", "third_column_match",
            "fourth_column_match", "fifth_column_match"]


def test_public_names_are_bound_in_order():
    public = [k for k in vars(gu) if not (k.startswith("__") and k.endswith("__"))]
    public = [k for k in public if k != "App_number"]  # bound later by a step run
    expected = (IMPORTED + ["error_records"] + NAMES[:10] + COUNTERS + NAMES[10:50]
                + ["SCOPES"] + NAMES[50:])
    assert public == expected


def test_imports_are_the_collaborators():
    import datetime, io, difflib, lxml.etree, tkinter.ttk, tkinter.messagebox
    import pandas, numpy
    from selenium.webdriver.support import expected_conditions
    from selenium.webdriver.chrome.options import Options as ChromeOptions
    from selenium.webdriver.firefox.service import Service as FirefoxService
    from selenium.common import exceptions
    assert gu.datetime is datetime.datetime
    assert gu.StringIO is io.StringIO and gu.SequenceMatcher is difflib.SequenceMatcher
    assert gu.pd is pandas and gu.np is numpy and gu.etree is lxml.etree
    assert gu.EC is expected_conditions
    assert gu.ChromeOptions is ChromeOptions and gu.FirefoxService is FirefoxService
    assert gu.TimeoutException is exceptions.TimeoutException
    assert gu.ElementClickInterceptedException is exceptions.ElementClickInterceptedException
    assert gu.ttk is tkinter.ttk and gu.messagebox is tkinter.messagebox


def test_module_level_data():
    assert gu.error_records == [] and isinstance(gu.error_records, list)
    assert [getattr(gu, c) for c in COUNTERS] == [0] * 5
    assert gu.SCOPES == ["https://www.googleapis.com/auth/gmail.readonly"]
    import builtins
    assert gu.__builtins__ is builtins
    assert gu.__name__ == "kestrelflow.generic_utility"
    assert gu.__package__ == "kestrelflow"


@pytest.mark.parametrize("name,signature", [f for f in FUNCTIONS if f[1]])
def test_signatures(name, signature):
    assert str(inspect.signature(getattr(gu, name))) == signature


def test_windows_path_and_url_defaults():
    ff = inspect.signature(gu.FireFox_Driver_info).parameters
    assert list(ff) == ["maximize", "headless", "eager", "mode", "firefox_path", "driver_path"]
    assert gu.FireFox_Driver_info.__defaults__[:4] == (False, False, True, "auto")
    assert ff["firefox_path"].default.endswith("\\AppData\\Local\\Mozilla Firefox\\firefox.exe")
    assert ff["driver_path"].default.endswith("\\geckodriver.exe")
    inbox = gu.Getting_Application_From_Inbox
    assert inbox.__defaults__[0] == "default"
    assert inbox.__defaults__[1].endswith("/private#dashboard")


def test_function_attributes():
    f = gu.run_steps
    assert f.__name__ == f.__qualname__ == "run_steps"
    assert f.__module__ == "kestrelflow.generic_utility"
    assert f.__defaults__ == (None, 0.5)
    assert gu.Chrome_Driver_info.__defaults__ == (False, False)
    assert gu.authenticate_gmail.__defaults__ is None
    assert isinstance(f.__doc__, str) and f.__doc__
    assert callable(f) and not inspect.isclass(f)
    assert pickle.loads(pickle.dumps(gu.extract_text)) is gu.extract_text
    f.custom = 1
    assert f.__dict__["custom"] == 1
    del f.custom


def test_replaced_defaults_are_used(monkeypatch):
    driver = FakeDriver()
    monkeypatch.setattr(gu.set_zoom, "__defaults__", (55,))
    assert str(inspect.signature(gu.set_zoom)) == "(driver, zoom_level=55)"
    gu.set_zoom(driver)
    assert driver.scripts == ["document.body.style.zoom='55%'"]
    with pytest.raises(TypeError):
        gu.set_zoom.__defaults__ = [1]


def test_print_is_the_module_binding_first_then_the_builtin(monkeypatch, capsys):
    seen = []
    monkeypatch.setattr(gu, "print", lambda *values: seen.append(values), raising=False)
    gu.wait_for_loading_elements(FakeDriver(), [], maxtrial=0)
    name = gu.Generate_File_name("svc", 1)
    assert seen == [("🔍 Checking loaders...",), ("⚠️ Timeout: Loader still exists",),
                    ("file_Generate", name)]
    assert capsys.readouterr().out == ""

    monkeypatch.delattr(gu, "print")
    gu.wait_for_loading_elements(FakeDriver(), [], maxtrial=0)
    assert capsys.readouterr().out == "🔍 Checking loaders...\n⚠️ Timeout: Loader still exists\n"
