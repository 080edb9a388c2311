window.evidenceScriptLoaded = true;
